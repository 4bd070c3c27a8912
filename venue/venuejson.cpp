#include "venuejson.h"

#include "strictjson.h"

#include <json/json.h>

namespace VenueJson {

bool readObject(const QByteArray& json, QJsonObject* object, QString* error)
{
    // Qt's parser (5.15) never frees an object or list whose key comes again in the same object,
    // so a peer sending such lines would grow us line by line: the strict reader, which refuses a
    // key given twice, sees every message first.
    Json::Value root;
    if (!parseStrictJson(json, &root, error))
        return false;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *error = "not JSON: " + parseError.errorString();
        return false;
    }
    if (!document.isObject()) {
        *error = "not a JSON object";
        return false;
    }
    *object = document.object();
    return true;
}

} // namespace VenueJson
