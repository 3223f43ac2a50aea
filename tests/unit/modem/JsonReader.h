#pragma once

// The recorded test data as plain values, read with Qt's JSON parser.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace vesk::testing {

// A value of the recorded data, converted once from Qt's JSON types.
struct JsonValue
{
    QJsonValue::Type type = QJsonValue::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    JsonValue() = default;
    explicit JsonValue(const QJsonValue& v)
        : type(v.type())
        , boolean(v.toBool())
        , number(v.toDouble())
        , text(v.toString().toStdString())
    {
        for (const QJsonValue& item : v.toArray())
            items.emplace_back(item);
        const QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it)
            members.emplace(it.key().toStdString(), JsonValue(it.value()));
    }

    bool isString() const { return type == QJsonValue::String; }
    bool isNumber() const { return type == QJsonValue::Double; }
    bool isArray() const { return type == QJsonValue::Array; }
    bool has(const std::string& key) const { return members.count(key) != 0; }
    const JsonValue& operator[](const std::string& key) const
    {
        static const JsonValue kNull;
        const auto it = members.find(key);
        return it == members.end() ? kNull : it->second;
    }
};

// A file of tests/data/; missing or malformed data fails the test rather than skipping it.
inline JsonValue LoadVectors(const std::string& name)
{
    QFile file(QString::fromStdString(std::string(VESK_VECTORS_DIR) + "/" + name));
    QJsonParseError error {};
    const QJsonDocument doc
        = QJsonDocument::fromJson(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray(), &error);
    if (doc.isNull())
        throw std::runtime_error("unreadable test data " + name + ": " + error.errorString().toStdString());
    return JsonValue(doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object()));
}

} // namespace vesk::testing
