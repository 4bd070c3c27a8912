#include "servicelog.h"

#include "mqttclient.h"

#include <easylogging++.h>

void logToStandardError()
{
    el::Configurations configuration;
    configuration.setToDefault();
    configuration.setGlobally(el::ConfigurationType::Format, "%datetime{%Y-%M-%d %H:%m:%s.%g} %level %msg");
    configuration.setGlobally(el::ConfigurationType::ToFile, "false");
    configuration.setGlobally(el::ConfigurationType::ToStandardOutput, "true");
    configuration.set(el::Level::Debug, el::ConfigurationType::Enabled, "false");
    configuration.set(el::Level::Verbose, el::ConfigurationType::Enabled, "false");
    el::Loggers::reconfigureAllLoggers(configuration);
}

void logConnection(MqttClient& mqtt)
{
    QObject::connect(&mqtt, &MqttClient::stateChanged, [](MqttClient::State state, const QString& reason) {
        if (state == MqttClient::State::Retrying)
            LOG(WARNING) << "Broker: " << reason.toStdString() << "; trying again";
        else
            LOG(INFO) << "Broker: " << reason.toStdString();
    });
    QObject::connect(&mqtt, &MqttClient::publishRefused, [](int, const QString& topic, const QString& reason) {
        LOG(ERROR) << "The broker refused the message to " << topic.toStdString() << ": " << reason.toStdString();
    });
    QObject::connect(&mqtt, &MqttClient::subscriptionRefused, [](const QString& filter, const QString& reason) {
        LOG(ERROR) << "The broker refused the subscription to " << filter.toStdString() << ": " << reason.toStdString()
                   << "; what comes there does not reach us";
    });
}
