#include "helpcall.h"

#include "agentclock.h"

#include <easylogging++.h>

HelpCall::HelpCall(const AgentClock& clock, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
{}

void HelpCall::call(const QString& session)
{
    m_call = HelpStatus{m_clock.wallMs(), false, 0, QString()};
    LOG(INFO) << "The customer called for help"
              << (session.isEmpty() ? "" : " (session " + session.toStdString() + ")");
    emit called(session);
    emit changed();
}

Outcome HelpCall::answer(const QString& by)
{
    if (!m_call)
        return Outcome::failed("no help call to answer");
    m_call->answered = true;
    m_call->answeredAt = m_clock.wallMs();
    m_call->by = by;
    LOG(INFO) << "The help call was answered" << (by.isEmpty() ? "" : " by " + by.toStdString());
    emit answered(by, m_call->at);
    emit changed();
    return Outcome::done();
}

void HelpCall::clear()
{
    if (!m_call)
        return;
    m_call.reset();
    emit changed();
}

void HelpCall::addTo(QJsonObject& status) const
{
    status.insert("help", m_call ? QJsonValue(m_call->toJson()) : QJsonValue(QJsonValue::Null));
}

std::optional<HelpView> HelpCall::view(bool reachable) const
{
    if (!m_call)
        return std::nullopt;
    if (m_call->answered)
        return HelpView{HelpView::State::Answered, m_call->by};
    return HelpView{reachable ? HelpView::State::Sent : HelpView::State::Unreachable, QString()};
}

QJsonValue HelpCall::save() const
{
    return m_call ? QJsonValue(m_call->toJson()) : QJsonValue(QJsonValue::Null);
}

void HelpCall::restore(const QJsonValue& value)
{
    m_call.reset();
    HelpStatus kept;
    QString error;
    if (value.isObject() && HelpStatus::parse(value.toObject(), &kept, &error))
        m_call = kept;
    else if (!value.isNull() && !value.isUndefined())
        LOG(WARNING) << "The kept help call cannot be read (" << error.toStdString() << "); it is dropped";
}
