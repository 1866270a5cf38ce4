#pragma once
// One JSON object on one line, as --fields and --check --json print them:
//     {"row": 7, "name": "王秀兰", "kind": "cut", ...}
// the keys in the order they are added, each written "key": value and
// separated by ", ".  Readers parse the lines, but scripts and people also
// read them by eye, so the order and the spacing stay as they have always
// been.  QJsonObject keeps its keys sorted and QJsonDocument's compact form
// has no spaces, so QJsonDocument writes every key and value (the escaping
// of texts, the integers) and this class only puts them together.
#include <QByteArray>
#include <QJsonValue>
#include <QString>

namespace vdmq::batch {

class JsonLine {
public:
    JsonLine& Add(const QString& key, const QJsonValue& value);
    // A number with a fixed count of decimals ("1.50"), which QJsonValue,
    // writing the shortest form of a double, would not keep.
    JsonLine& AddFixed(const QString& key, double value, int decimals);
    JsonLine& Add(const QString& key, const JsonLine& object);
    // The object, without a line end.
    QByteArray Text() const { return text_ + '}'; }

private:
    void key(const QString& key);
    QByteArray text_ = "{";
};

// One value as JSON: a text quoted and escaped, a number, null, true.
QByteArray JsonText(const QJsonValue& value);

}  // namespace vdmq::batch
