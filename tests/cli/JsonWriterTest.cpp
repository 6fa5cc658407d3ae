#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "JsonWriter.h"

using velmora::json::JsonWriter;
using velmora::json::Quoted;

// Quotes, backslashes and control characters escaped, UTF-8 kept as it is,
// bytes that are no UTF-8 replaced: a JSON parser gives back the text.
TEST(JsonWriter, EscapesWhatJsonNeedsAndKeepsUtf8) {
    EXPECT_EQ(Quoted("a\"b\\c/d"), R"("a\"b\\c/d")");
    EXPECT_EQ(Quoted(std::string("\n\r\t\b\f\x01\x1f\x7f", 8)),
              R"("\n\r\t\b\f\u0001\u001f\u007f")");
    EXPECT_EQ(Quoted(std::string("\0", 1)), R"("\u0000")");
    EXPECT_EQ(Quoted("Zoë Köln 東京 \xF0\x9F\x98\x80"), "\"Zoë Köln 東京 \xF0\x9F\x98\x80\"");
    // A stray continuation byte, a lone lead byte, an overlong '/', a surrogate
    // and a sequence cut short at the end.
    EXPECT_EQ(Quoted("\x80|\xC3|\xC0\xAF|\xED\xA0\x80|\xE2\x82"),
              "\"\xEF\xBF\xBD|\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD|"
              "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD\"");

    const std::string awkward = "say \"hi\"\\\n\x02 Zoë 東京";
    JsonWriter writer;
    writer.BeginObject()
        .Field(awkward, awkward)
        .Field("n", -42)
        .Field("big", 1234567890123LL)
        .Field("yes", true)
        .FieldOrNull("none", std::optional<long long>())
        .Key("list")
        .BeginArray()
        .BeginObject()
        .EndObject()
        .BeginArray()
        .EndArray()
        .String("x")
        .Number(0)
        .EndArray()
        .EndObject();
    EXPECT_EQ(writer.Text().find('\n'), std::string::npos) << "one line";
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(writer.Text()), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << writer.Text();
    const QJsonObject object = document.object();
    EXPECT_EQ(object.value(QString::fromStdString(awkward)).toString().toStdString(), awkward);
    EXPECT_EQ(object.value("n").toInt(), -42);
    EXPECT_EQ(object.value("big").toInteger(), 1234567890123LL);
    EXPECT_TRUE(object.value("yes").toBool());
    EXPECT_TRUE(object.value("none").isNull());
    EXPECT_EQ(object.value("list").toArray().size(), 4);
    EXPECT_EQ(writer.Text().substr(writer.Text().find("\"list\"")), R"("list":[{},[],"x",0]})");
}
