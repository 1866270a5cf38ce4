#include "app/batch/jsonline.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>

namespace vdmq::batch {

QByteArray JsonText(const QJsonValue& value)
{
    // A document holds an array or an object, never a bare value: write
    // the value as the one element of an array and take off the brackets.
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

void JsonLine::key(const QString& key)
{
    // The tool writes a few dozen keys again on every line: each is
    // written by the library once.  (A value takes the library a
    // microsecond or two; the captions of a form are 32 of them.)
    static QHash<QString, QByteArray> written;
    auto it = written.constFind(key);
    if (it == written.cend())
        it = written.insert(key, JsonText(key));
    if (text_.size() > 1)
        text_ += ", ";
    text_ += *it;
    text_ += ": ";
}

JsonLine& JsonLine::Add(const QString& key, const QJsonValue& value)
{
    this->key(key);
    text_ += JsonText(value);
    return *this;
}

JsonLine& JsonLine::AddFixed(const QString& key, double value, int decimals)
{
    this->key(key);
    // The C locale's form whatever the user's locale: JSON has no decimal comma.
    text_ += QByteArray::number(value, 'f', decimals);
    return *this;
}

JsonLine& JsonLine::Add(const QString& key, const JsonLine& object)
{
    this->key(key);
    text_ += object.Text();
    return *this;
}

}  // namespace vdmq::batch
