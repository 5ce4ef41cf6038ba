#include "app/SettingsStore.h"

#include "app/Diagnostics.h"

#include <cmath>
#include <utility>

namespace tw::app {

const QString SettingsStore::ReadFailure = QStringLiteral("store-read");
const QString SettingsStore::DamagedFailure = QStringLiteral("store-damaged");
const QString SettingsStore::WriteFailure = QStringLiteral("store");
const QString SettingsStore::Control = QStringLiteral("APP_EXE_NAME_LABEL");

SettingsStore::SettingsStore(platform::SettingsBackend& backend, QString section,
                             Diagnostics* diagnostics)
    : backend_(backend), section_(std::move(section)), diagnostics_(diagnostics) {}

QString SettingsStore::GetSetting(const QString& key, const QString& defaultValue) const {
    using State = platform::SettingRead::State;
    const platform::SettingRead read =
        backend_.read(QString::fromLatin1(Application), section_, key);
    if (read.state == State::Unreadable) {
        ++unreadableReads_;
        if (diagnostics_)
            diagnostics_->report(ReadFailure, Control,
                                 QStringLiteral("The settings store cannot be read (%1); the "
                                                "panel runs on defaults and does not write over "
                                                "the store")
                                     .arg(read.problem));
        return defaultValue;
    }
    if (diagnostics_) {
        diagnostics_->clear(ReadFailure);
        if (read.problem.isEmpty())
            diagnostics_->clear(DamagedFailure);
        else
            diagnostics_->report(DamagedFailure, Control, read.problem);
    }
    return read.state == State::Found ? read.value : defaultValue;
}

void SettingsStore::SaveSetting(const QString& key, const QString& value) {
    if (inBatch_) {
        // Written with the occasion's other values, in one write.
        if (batchMayWrite_)
            pending_.append({key, value});
        else if (!notSaved_.contains(key))
            notSaved_.append(key);
        return;
    }
    const auto result = backend_.write(QString::fromLatin1(Application), section_, key, value);
    if (!diagnostics_)
        return;
    if (result.ok)
        diagnostics_->clear(WriteFailure);
    else
        diagnostics_->report(
            WriteFailure, Control,
            QStringLiteral("Not saved to the settings store: %1 (%2)").arg(key, result.error));
}

SettingsStore::Batch::Batch(SettingsStore& store, QString occasion, bool valuesWereRead)
    : store_(store) {
    store_.inBatch_ = true;
    store_.batchMayWrite_ = valuesWereRead;
    store_.occasion_ = std::move(occasion);
    store_.pending_.clear();
    store_.notSaved_.clear();
    store_.firstError_.clear();
}

SettingsStore::Batch::~Batch() {
    commit();
    store_.reportNotSaved();
    store_.inBatch_ = false;
}

bool SettingsStore::Batch::commit() {
    store_.writePending();
    return store_.notSaved_.isEmpty();
}

void SettingsStore::writePending() {
    if (pending_.isEmpty())
        return;
    const platform::SettingValues values = std::exchange(pending_, {});
    const auto result = backend_.writeValues(QString::fromLatin1(Application), section_, values);
    if (result.ok)
        return;
    for (const auto& [key, value] : values)
        if (!notSaved_.contains(key))
            notSaved_.append(key);
    if (firstError_.isEmpty())
        firstError_ = result.error;
}

// The keys that were not saved, never their values: the store may be private
// (a 0600 file), the diagnostics log and stderr are not.
void SettingsStore::reportNotSaved() {
    if (!diagnostics_)
        return;
    if (notSaved_.isEmpty()) {
        diagnostics_->clear(WriteFailure);
        return;
    }
    const QString why =
        batchMayWrite_
            ? firstError_
            : QStringLiteral("the store could not be read when these values were loaded, so "
                             "they are defaults and would write over the user's values");
    diagnostics_->report(WriteFailure, Control,
                         QStringLiteral("Not saved to the settings store at %1 (%2): %3")
                             .arg(occasion_, why, notSaved_.join(QStringLiteral(", "))));
}

int SettingsStore::tickState(const QString& key, int defaultState) const {
    const QString text = GetSetting(key, QString::number(defaultState)).trimmed();
    if (text == QLatin1String("0"))
        return 0;
    if (text == QLatin1String("1"))
        return 1;
    return defaultState;
}

double SettingsStore::geometry(const QString& key, double defaultTwips) const {
    bool ok = false;
    const float value = GetSetting(key, geometryText(defaultTwips)).trimmed().toFloat(&ok);
    if (!ok || !std::isfinite(value))
        return defaultTwips;
    return value;
}

void SettingsStore::saveTickState(const QString& key, bool ticked) {
    SaveSetting(key, ticked ? QStringLiteral("1") : QStringLiteral("0"));
}

void SettingsStore::saveGeometry(const QString& key, double twips) {
    SaveSetting(key, geometryText(twips));
}

QString geometryText(double twips) {
    const float value = static_cast<float>(twips);
    if (value == std::floor(value) && std::fabs(value) < 1e9f)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', 7);
}

} // namespace tw::app
