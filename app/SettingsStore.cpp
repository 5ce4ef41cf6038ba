#include "app/SettingsStore.h"

#include "app/Diagnostics.h"

#include <cmath>

namespace tw::app {

SettingsStore::SettingsStore(platform::SettingsBackend& backend, QString section,
                             Diagnostics* diagnostics)
    : backend_(backend), section_(std::move(section)), diagnostics_(diagnostics) {}

QString SettingsStore::GetSetting(const QString& key, const QString& defaultValue) const {
    const auto stored = backend_.read(QString::fromLatin1(Application), section_, key);
    return stored ? *stored : defaultValue;
}

void SettingsStore::SaveSetting(const QString& key, const QString& value) {
    const auto result = backend_.write(QString::fromLatin1(Application), section_, key, value);
    if (!diagnostics_)
        return;
    const QString what = QStringLiteral("store");
    if (result.ok)
        diagnostics_->clear(what);
    else
        diagnostics_->report(what, QString(),
                             QStringLiteral("Could not save %1 to the settings store (%2): %3")
                                 .arg(key, backend_.location(), result.error));
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
