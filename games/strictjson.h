#pragma once

#include <QByteArray>
#include <QString>

namespace Json {
class Value;
}

// JSON from outside, read strictly: no comments, nothing after the document, a key at most once
// per object, nesting within the library's limit. False, with "not JSON: <why>", otherwise.
bool parseStrictJson(const QByteArray& text, Json::Value* root, QString* error);
