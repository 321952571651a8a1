#include "platform/ansi.h"
#include "platform/error.h"

#include <gtest/gtest.h>

namespace {

TEST(Ansi, AccentsAndTheEuroSignGoToTheirBytesAndBack)
{
    const QString text = QStringLiteral("Caf\u00e9 5\u20ac \u2014 \u0152uvre \u2122");
    const QByteArray bytes = Platform::Ansi::encode(text);
    EXPECT_EQ(bytes, QByteArray("Caf\xe9 5\x80 \x97 \x8cuvre \x99"));
    EXPECT_EQ(Platform::Ansi::decode(bytes), text);
}

TEST(Ansi, EveryByteRoundTripsControlsIncluded)
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    EXPECT_EQ(Platform::Ansi::encode(Platform::Ansi::decode(all)), all);
}

TEST(Ansi, CharacterOutsideTheSetIsRefusedNotWrittenAsQuestionMark)
{
    for (const QString &text : {QStringLiteral("\u0141\u00f3d\u017a"), QStringLiteral("clock \U0001F600"),
                                QStringLiteral("\u65e5\u672c")}) {
        EXPECT_FALSE(Platform::Ansi::canEncode(text));
        try {
            Platform::Ansi::encode(text);
            FAIL() << "encoded " << text.toStdString();
        } catch (const Platform::Error &e) {
            EXPECT_EQ(e.number(), Platform::ErrorNo::ValueNotEncodable);
            EXPECT_TRUE(e.description().contains(QStringLiteral("U+"))) << e.what();
        }
    }
}

TEST(Ansi, TypedTextWithAControlCharacterIsRefusedThoughItEncodes)
{
    Platform::Ansi::checkTyped(QStringLiteral("O'Hara \u00e9 \u20ac"));
    for (const QString &text : {QStringLiteral("tab\there"), QStringLiteral("line\r\n"),
                                QStringLiteral("rs") + QChar(0x1E), QStringLiteral("c1 \u0081"),
                                QStringLiteral("\u0416")}) {
        EXPECT_THROW(Platform::Ansi::checkTyped(text), Platform::Error) << text.toStdString();
    }
}

} // namespace
