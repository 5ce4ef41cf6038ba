#pragma once
#include "platform/Platform.h"

#include <QString>

namespace tw::app {

class Diagnostics;

// GetSetting/SaveSetting over the per-user store: application "TW-CLI-UI",
// section = the running executable's file name. No cache: every read goes
// to the store, every write reaches it at once.
class SettingsStore {
public:
    static constexpr auto Application = "TW-CLI-UI";

    SettingsStore(platform::SettingsBackend& backend, QString section,
                  Diagnostics* diagnostics = nullptr);

    QString GetSetting(const QString& key, const QString& defaultValue) const;
    void SaveSetting(const QString& key, const QString& value);

    // Typed reads. A tick state other than "0" or "1", or a geometry value
    // that is not a number, reads as the key's default.
    int tickState(const QString& key, int defaultState) const;
    double geometry(const QString& key, double defaultTwips) const;
    void saveTickState(const QString& key, bool ticked);
    void saveGeometry(const QString& key, double twips);

    const QString& section() const { return section_; }

private:
    platform::SettingsBackend& backend_;
    QString section_;
    Diagnostics* diagnostics_;
};

// Text of a geometry value as written to the store: whole numbers without a
// decimal point.
QString geometryText(double twips);

} // namespace tw::app
