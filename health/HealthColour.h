#pragma once

namespace tw::health {

// The node's health as the tray icon's dot shows it.
enum class HealthColour {
    Grey,   // no block-count answer yet
    Yellow, // a query is running
    Green,  // the last block count was a number and the chain moved within the stall time
    Red,    // the last query failed, or the chain stalled
};

} // namespace tw::health
