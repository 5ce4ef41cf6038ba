#pragma once
#include "platform/Platform.h"

#include <QString>
#include <QStringList>

namespace tw::app {

class Diagnostics;

// GetSetting/SaveSetting over the per-user store: application "TW-CLI-UI",
// section = the running executable's file name. No cache: every read goes
// to the store; a write reaches it at once, or, inside an occasion (Batch),
// together with the occasion's other values when the occasion's handler is
// done with them.
//
// A store that cannot be read is not the same as a store without the key:
// the read still returns the default, but the failure is reported (once)
// and counted, so that a window whose values could not be read does not
// write its defaults over the user's values when it closes (see Batch). A
// store that reads but does not parse whole is reported once too; the
// backend then refuses every write.
class SettingsStore {
public:
    static constexpr auto Application = "TW-CLI-UI";
    // Diagnostics keys, and the main-window control that shows them: the
    // label with the executable's name, which is the store's section.
    static const QString ReadFailure;
    static const QString DamagedFailure;
    static const QString WriteFailure;
    static const QString Control;

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
    // How many reads so far found the store unreadable: a window compares
    // the count before and after its reads to learn whether it holds the
    // user's values or defaults.
    quint64 unreadableReads() const { return unreadableReads_; }

    // The writes of one occasion (a window's close, Save To Registry): the
    // values are written together, in one write of the store (one lock, one
    // read, one write of the settings file) when the occasion ends or at
    // commit(), and reported together: which keys were not saved, in one
    // message at the end. With `valuesWereRead` false the occasion's window
    // holds defaults, not the user's values, so nothing is written at all.
    class Batch {
    public:
        Batch(SettingsStore& store, QString occasion, bool valuesWereRead = true);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;
        // Writes the values saved so far; whether every value of the
        // occasion so far reached the store.
        bool commit();

    private:
        SettingsStore& store_;
    };

private:
    void writePending();
    void reportNotSaved();

    platform::SettingsBackend& backend_;
    QString section_;
    Diagnostics* diagnostics_;
    mutable quint64 unreadableReads_ = 0;

    // The open batch, if any.
    bool inBatch_ = false;
    bool batchMayWrite_ = true;
    QString occasion_;
    platform::SettingValues pending_;
    QStringList notSaved_; // keys
    QString firstError_;
};

// Text of a geometry value as written to the store: whole numbers without a
// decimal point.
QString geometryText(double twips);

} // namespace tw::app
