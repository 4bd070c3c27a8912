#include "strictjson.h"

#include <json/json.h>

#include <exception>
#include <memory>
#include <string>

bool parseStrictJson(const QByteArray& text, Json::Value* root, QString* error)
{
    std::string reason;
    Json::CharReaderBuilder builder;
    Json::CharReaderBuilder::strictMode(&builder.settings_);
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    try {
        if (!reader->parse(text.constData(), text.constData() + text.size(), root, &reason)) {
            *error = "not JSON: " + QString::fromStdString(reason).simplified();
            return false;
        }
    } catch (const std::exception& e) {
        // The library throws for nesting past its limit.
        *error = "not JSON: " + QString::fromLocal8Bit(e.what());
        return false;
    }
    return true;
}
