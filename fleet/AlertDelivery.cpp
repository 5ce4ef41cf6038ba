#include "fleet/AlertDelivery.h"

#include "app/Diagnostics.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <algorithm>

namespace tw::fleet {

const QString AlertDelivery::WebhookFailureKey = QStringLiteral("alert-webhook");
const QString AlertDelivery::AlertmanagerFailureKey = QStringLiteral("alert-alertmanager");

namespace {

int index(AlertDelivery::Alert alert) {
    switch (alert) {
    case AlertDelivery::Alert::Stalled:
        return 0;
    case AlertDelivery::Alert::NotAnswering:
        return 1;
    case AlertDelivery::Alert::Warning:
        return 2;
    }
    return 0;
}

QString webhookName(AlertDelivery::Alert alert) {
    switch (alert) {
    case AlertDelivery::Alert::Stalled:
        return QStringLiteral("stalled");
    case AlertDelivery::Alert::NotAnswering:
        return QStringLiteral("not_answering");
    case AlertDelivery::Alert::Warning:
        return QStringLiteral("warning");
    }
    return {};
}

QString alertName(AlertDelivery::Alert alert) {
    switch (alert) {
    case AlertDelivery::Alert::Stalled:
        return QStringLiteral("TwCliUiNodeStalled");
    case AlertDelivery::Alert::NotAnswering:
        return QStringLiteral("TwCliUiNodeNotAnswering");
    case AlertDelivery::Alert::Warning:
        return QStringLiteral("TwCliUiNodeWarning");
    }
    return {};
}

QString rfc3339(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs);
}

// The URL without what may be a secret (user, path, query): a webhook's
// path often is its token.
QString shown(const QUrl& url) {
    return url.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery |
                               QUrl::RemoveFragment);
}

QString targetName(AlertDelivery::Target target) {
    return target == AlertDelivery::Target::Webhook ? QStringLiteral("alert webhook")
                                                    : QStringLiteral("Alertmanager");
}

} // namespace

AlertDelivery::AlertDelivery(app::Diagnostics& diagnostics, QString node, WallClock wallClock,
                             QNetworkAccessManager* network, QObject* parent)
    : QObject(parent), diagnostics_(diagnostics), node_(std::move(node)),
      wallClock_(std::move(wallClock)),
      network_(network ? network : new QNetworkAccessManager(this)) {
    webhook_.target = Target::Webhook;
    webhook_.key = WebhookFailureKey;
    alertmanager_.target = Target::Alertmanager;
    alertmanager_.key = AlertmanagerFailureKey;
    for (Channel* ch : {&webhook_, &alertmanager_}) {
        ch->deadline.setSingleShot(true);
        ch->retry.setSingleShot(true);
        ch->retry.setTimerType(Qt::PreciseTimer);
        connect(&ch->deadline, &QTimer::timeout, this, [ch] {
            if (ch->reply) {
                ch->timedOut = true;
                ch->reply->abort();
            }
        });
        connect(&ch->retry, &QTimer::timeout, this, [this, ch] { sendNext(*ch); });
    }
    resend_.setInterval(timing_.resendMs);
    connect(&resend_, &QTimer::timeout, this, &AlertDelivery::resendActive);
    fresh_.setSingleShot(true);
    fresh_.setInterval(0);
    connect(&fresh_, &QTimer::timeout, this, &AlertDelivery::takeFresh);
}

AlertDelivery::~AlertDelivery() {
    // The replies may belong to a network access manager that outlives this
    // object: nothing of theirs may call back here.
    for (Channel* ch : {&webhook_, &alertmanager_}) {
        if (QNetworkReply* reply = std::exchange(ch->reply, nullptr)) {
            disconnect(reply, nullptr, this, nullptr);
            reply->abort();
            reply->deleteLater();
        }
    }
}

void AlertDelivery::setBlockCountSource(BlockCountSource source) {
    blockCount_ = std::move(source);
}

void AlertDelivery::setTiming(const Timing& timing) {
    timing_ = timing;
    resend_.setInterval(timing_.resendMs);
}

void AlertDelivery::setSslConfiguration(const QSslConfiguration& configuration) {
    ssl_ = configuration;
}

int AlertDelivery::pending(Target target) const {
    const std::size_t fresh = target == Target::Webhook ? freshEvents_.size() : 0;
    return static_cast<int>(channel(target).queue.size() + fresh);
}

int AlertDelivery::failedAttempts(Target target) const {
    return channel(target).failures;
}

void AlertDelivery::setWebhook(const QString& url) {
    setUrl(webhook_, url, QStringLiteral("webhook"));
}

void AlertDelivery::setAlertmanager(const QString& baseUrl) {
    setUrl(alertmanager_, baseUrl, QStringLiteral("Alertmanager"));
    if (alertmanager_.url.isEmpty())
        return;
    // Alerts going on when Alertmanager is turned on are sent at once.
    resendActive();
}

void AlertDelivery::setUrl(Channel& ch, const QString& text, const QString& what) {
    const QString trimmed = text.trimmed();
    const QUrl url(trimmed, QUrl::StrictMode);
    const bool usable =
        url.isValid() && !url.host().isEmpty() &&
        (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
    if (trimmed == ch.urlText)
        return;
    drop(ch);
    ch.urlText = trimmed;
    ch.url = usable ? url : QUrl();
    if (!trimmed.isEmpty() && !usable) {
        // Said once: the diagnostics keep it until a usable URL or none.
        ch.reported = true;
        diagnostics_.report(ch.key, {},
                            QStringLiteral("The %1 URL \"%2\" is not an http or https URL: "
                                           "alerts are not sent there")
                                .arg(what, trimmed.left(200)));
    }
}

void AlertDelivery::drop(Channel& ch) {
    if (QNetworkReply* reply = std::exchange(ch.reply, nullptr)) {
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
    ch.deadline.stop();
    ch.retry.stop();
    ch.queue.clear();
    if (ch.target == Target::Webhook)
        freshEvents_.clear();
    ch.open = {};
    ch.failures = 0;
    ch.reported = false;
    diagnostics_.clear(ch.key);
}

void AlertDelivery::alertChanged(health::HealthMonitor::Alert alert, bool active,
                                 const QString& title, const QString& text) {
    const qint64 now = wallClock_();
    Episode& episode = episodes_[static_cast<std::size_t>(index(alert))];
    if (active) {
        episode = {true, now, title, text};
    } else {
        episode.active = false;
        episode.title = title;
        episode.text = text;
    }

    if (!webhook_.url.isEmpty()) {
        // The monitor tells of an episode's end before it keeps the answer
        // that ended it: the block count is read once it has.
        freshEvents_.push_back({alert, active, title, text, now});
        fresh_.start();
    }

    if (!alertmanager_.url.isEmpty()) {
        if (active) {
            enqueue(alertmanager_, {alert, true, false, alertmanagerBody(alert, episode, {})});
        } else {
            // Alertmanager takes no end before the start.
            const qint64 end = std::max(now, episode.startMs);
            enqueue(alertmanager_, {alert, false, false, alertmanagerBody(alert, episode, end)});
        }
    }

    const bool anyActive =
        std::any_of(episodes_.begin(), episodes_.end(), [](const Episode& e) { return e.active; });
    if (anyActive && !resend_.isActive())
        resend_.start();
    else if (!anyActive)
        resend_.stop();
}

void AlertDelivery::takeFresh() {
    const std::optional<qint64> count = blockCount_ ? blockCount_() : std::nullopt;
    for (const Fresh& event : std::exchange(freshEvents_, {}))
        enqueue(webhook_,
                {event.alert, event.firing, false,
                 webhookBody(event.alert, event.firing, event.title, event.text, event.at, count)});
}

void AlertDelivery::resendActive() {
    if (alertmanager_.url.isEmpty())
        return;
    for (Alert alert : {Alert::Stalled, Alert::NotAnswering, Alert::Warning}) {
        const Episode& episode = episodes_[static_cast<std::size_t>(index(alert))];
        if (!episode.active)
            continue;
        // Nothing to add while this alert's last word still waits.
        const bool waiting =
            std::any_of(alertmanager_.queue.begin(), alertmanager_.queue.end(),
                        [&](const Event& e) { return e.alert == alert && e.firing; });
        if (!waiting)
            enqueue(alertmanager_, {alert, true, true, alertmanagerBody(alert, episode, {})});
    }
}

void AlertDelivery::enqueue(Channel& ch, Event event) {
    ch.queue.push_back(std::move(event));
    while (ch.queue.size() > static_cast<std::size_t>(MaxQueued) && shrink(ch)) {
    }
    if (!ch.reply && !ch.retry.isActive())
        sendNext(ch);
}

bool AlertDelivery::shrink(Channel& ch) {
    // Walks the queue from the oldest event not yet on its way, knowing for
    // each alert whether the receiver last heard it begin.
    std::array<bool, 3> open = ch.open;
    std::size_t first = 0;
    if (ch.reply) {
        open[static_cast<std::size_t>(index(ch.queue.front().alert))] = ch.queue.front().firing;
        first = 1;
    }
    for (std::size_t i = first; i < ch.queue.size(); ++i) {
        const Event& event = ch.queue[i];
        const auto alert = static_cast<std::size_t>(index(event.alert));
        std::size_t next = i + 1;
        while (next < ch.queue.size() && ch.queue[next].alert != event.alert)
            ++next;
        if (event.firing && next < ch.queue.size()) {
            const auto at = [&ch](std::size_t k) {
                return ch.queue.begin() + static_cast<std::ptrdiff_t>(k);
            };
            if (ch.queue[next].firing) {
                // An alert told again (a new warning text) before the
                // first went out: the newer one says it.
                ch.queue.erase(at(i));
                return true;
            }
            if (!open[alert]) {
                // An episode begun and over while waiting: both go, and
                // the receiver's state stays right.
                ch.queue.erase(at(next));
                ch.queue.erase(at(i));
                return true;
            }
        }
        open[alert] = event.firing;
    }
    return false;
}

QUrl AlertDelivery::requestUrl(const Channel& ch) const {
    if (ch.target == Target::Webhook)
        return ch.url;
    QUrl url = ch.url;
    QString path = url.path();
    while (path.endsWith(u'/'))
        path.chop(1);
    url.setPath(path + QStringLiteral("/api/v2/alerts"));
    return url;
}

void AlertDelivery::sendNext(Channel& ch) {
    if (ch.reply || ch.queue.empty() || ch.url.isEmpty())
        return;
    QNetworkRequest request(requestUrl(ch));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("TW-CLI-UI"));
    // A redirect is not followed: the body would not go with it.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(timing_.requestTimeoutMs);
    if (ssl_)
        request.setSslConfiguration(*ssl_);

    ch.bodyRead = 0;
    ch.head.clear();
    ch.tooLong = false;
    ch.timedOut = false;
    ch.reply = network_->post(request, ch.queue.front().body);
    connect(ch.reply, &QNetworkReply::readyRead, this, [this, &ch] { readSome(ch); });
    connect(ch.reply, &QNetworkReply::finished, this, [this, &ch] { finished(ch); });
    ch.deadline.start(timing_.requestTimeoutMs);
}

void AlertDelivery::readSome(Channel& ch) {
    if (!ch.reply)
        return;
    // Keep the start for the diagnostics; throw the rest away, and stop
    // reading a body that goes on and on.
    const QByteArray chunk = ch.reply->readAll();
    ch.bodyRead += chunk.size();
    if (ch.head.size() < MaxResponseBytes)
        ch.head.append(chunk.left(MaxResponseBytes - ch.head.size()));
    if (ch.bodyRead > 16 * MaxResponseBytes && !ch.tooLong) {
        ch.tooLong = true;
        ch.reply->abort();
    }
}

void AlertDelivery::finished(Channel& ch) {
    QNetworkReply* reply = std::exchange(ch.reply, nullptr);
    if (!reply)
        return;
    ch.deadline.stop();
    reply->deleteLater();
    const QVariant statusAttribute = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const int status = statusAttribute.isValid() ? statusAttribute.toInt() : 0;

    QString error;
    // The deadline's abort, or Qt's own for a transfer that stalled.
    if (ch.timedOut || reply->error() == QNetworkReply::TimeoutError ||
        (reply->error() == QNetworkReply::OperationCanceledError && !ch.tooLong)) {
        error = QStringLiteral("no answer within %1 s").arg(timing_.requestTimeoutMs / 1000.0);
    } else if (ch.tooLong && status > 0) {
        // The status came before the body that was cut: it decides.
        if (status >= 300)
            error = QStringLiteral("HTTP status %1").arg(status);
    } else if (reply->error() != QNetworkReply::NoError && status == 0) {
        error = reply->errorString();
    } else if (status == 0 || status >= 300) {
        // What the receiver said, as one printable line.
        QString said = QString::fromUtf8(ch.head).simplified().left(200);
        for (QChar& c : said) {
            if (!c.isPrint())
                c = u'?';
        }
        error = QStringLiteral("HTTP status %1").arg(status);
        if (!said.isEmpty())
            error += QStringLiteral(" (%1)").arg(said);
    }

    if (error.isEmpty()) {
        if (!ch.queue.empty()) {
            const Event& sent = ch.queue.front();
            ch.open[static_cast<std::size_t>(index(sent.alert))] = sent.firing;
            ch.queue.pop_front();
        }
        ch.failures = 0;
        if (ch.reported) {
            ch.reported = false;
            diagnostics_.clear(ch.key);
        }
        emit attempted(ch.target, true, QString());
        sendNext(ch);
        return;
    }

    ++ch.failures;
    // 1, 2, 4, ... times the first delay, up to the longest.
    qint64 delay = timing_.firstRetryMs;
    for (int i = 1; i < ch.failures && delay < timing_.maxRetryMs; ++i)
        delay *= 2;
    delay = std::min<qint64>(delay, timing_.maxRetryMs);
    if (!ch.reported) {
        ch.reported = true;
        diagnostics_.report(ch.key, {},
                            QStringLiteral("The %1 at %2 did not take the alert: %3; trying again "
                                           "until it does")
                                .arg(targetName(ch.target), shown(ch.url), error));
    }
    ch.retry.start(static_cast<int>(delay));
    emit attempted(ch.target, false, error);
}

QByteArray AlertDelivery::webhookBody(Alert alert, bool firing, const QString& title,
                                      const QString& text, qint64 now,
                                      std::optional<qint64> blockCount) const {
    QJsonObject object{
        {QStringLiteral("node"), node_},
        {QStringLiteral("alert"), webhookName(alert)},
        {QStringLiteral("state"), firing ? QStringLiteral("firing") : QStringLiteral("resolved")},
        {QStringLiteral("summary"), title},
        {QStringLiteral("description"), text},
        {QStringLiteral("time"), rfc3339(now)},
    };
    if (blockCount)
        object.insert(QStringLiteral("block_count"), *blockCount);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray AlertDelivery::alertmanagerBody(Alert alert, const Episode& episode,
                                           std::optional<qint64> endsAt) const {
    const bool critical = alert != Alert::Warning;
    QJsonObject object{
        {QStringLiteral("labels"),
         QJsonObject{
             {QStringLiteral("alertname"), alertName(alert)},
             {QStringLiteral("node"), node_},
             {QStringLiteral("severity"),
              critical ? QStringLiteral("critical") : QStringLiteral("warning")},
         }},
        {QStringLiteral("annotations"),
         QJsonObject{
             {QStringLiteral("summary"), episode.title},
             {QStringLiteral("description"), episode.text},
         }},
        {QStringLiteral("startsAt"), rfc3339(episode.startMs)},
    };
    if (endsAt)
        object.insert(QStringLiteral("endsAt"), rfc3339(*endsAt));
    return QJsonDocument(QJsonArray{object}).toJson(QJsonDocument::Compact);
}

} // namespace tw::fleet
