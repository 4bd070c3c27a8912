#pragma once

// The log of a program that runs as a user service: one line a record on standard error,
// "<time> <level> <message>", as the journal shows it; no file anywhere; no debug records.
void logToStandardError();

class MqttClient;
// Logs each change of the client's connection once (a warning while it tries again), and each
// message or subscription the broker refuses, as an error.
void logConnection(MqttClient& mqtt);
