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

struct JsonValue
{
    enum class Kind { Null, Boolean, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> members;

    bool isString() const { return kind == Kind::String; }
    bool isNumber() const { return kind == Kind::Number; }
    bool has(const std::string& key) const { return members.count(key) != 0; }
    const JsonValue& operator[](const std::string& key) const
    {
        static const JsonValue kNull;
        const auto it = members.find(key);
        return it == members.end() ? kNull : it->second;
    }

    static JsonValue from(const QJsonValue& v)
    {
        JsonValue j;
        if (v.isBool()) {
            j.kind = Kind::Boolean;
            j.boolean = v.toBool();
        } else if (v.isDouble()) {
            j.kind = Kind::Number;
            j.number = v.toDouble();
        } else if (v.isString()) {
            j.kind = Kind::String;
            j.text = v.toString().toStdString();
        } else if (v.isArray()) {
            j.kind = Kind::Array;
            for (const QJsonValue& item : v.toArray())
                j.items.push_back(from(item));
        } else if (v.isObject()) {
            j.kind = Kind::Object;
            const QJsonObject o = v.toObject();
            for (auto it = o.begin(); it != o.end(); ++it)
                j.members.emplace(it.key().toStdString(), from(it.value()));
        }
        return j;
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
    return JsonValue::from(doc.isArray() ? QJsonValue(doc.array()) : QJsonValue(doc.object()));
}

} // namespace vesk::testing
