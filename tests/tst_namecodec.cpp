// The name codec must map every byte string to a text and back without loss, decode valid
// UTF-8 as usual, and refuse texts that no byte string maps to.

#include "platform/Failure.h"
#include "platform/NameCodec.h"

#include <QRandomGenerator>
#include <QTest>

using platform::decodeName;
using platform::encodeName;

class TestNameCodec : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void validUtf8_data();
    void validUtf8();
    void everyInvalidSingleByte();
    void invalidSequences_data();
    void invalidSequences();
    void randomBytesRoundTrip();
    void unrepresentableText_data();
    void unrepresentableText();
    void displayShowsReplacementGlyphs();
};

void TestNameCodec::validUtf8_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("ascii") << QStringLiteral("notes.txt");
    QTest::newRow("empty") << QString();
    QTest::newRow("latin") << QStringLiteral("café résumé.doc");
    QTest::newRow("cjk") << QStringLiteral("報告書.pdf");
    QTest::newRow("astral") << QStringLiteral("emoji \U0001F600 file");
    QTest::newRow("edges") << QString::fromUcs4(
        U"\u0080\u07FF\u0800\uFFFD\uFFFF\U00010000\U0010FFFF");
}

void TestNameCodec::validUtf8()
{
    QFETCH(QString, text);
    const QByteArray bytes = text.toUtf8();
    QCOMPARE(decodeName(bytes), text);
    QCOMPARE(encodeName(text), bytes);
}

void TestNameCodec::everyInvalidSingleByte()
{
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const QByteArray bytes = QByteArray("a") + char(byte) + "b";
        const QString text = decodeName(bytes);
        QCOMPARE(text.size(), 3);
        QCOMPARE(text[1].unicode(), char16_t(0xDC00 + byte));
        QCOMPARE(encodeName(text), bytes);
    }
}

void TestNameCodec::invalidSequences_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("escaped"); // how many bytes must come out escaped
    QTest::newRow("truncated two-byte") << QByteArray("x\xC3") << 1;
    QTest::newRow("truncated three-byte") << QByteArray("\xE2\x82") << 2;
    QTest::newRow("truncated four-byte") << QByteArray("\xF0\x9F\x98") << 3;
    QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << 2;
    QTest::newRow("overlong three-byte") << QByteArray("\xE0\x80\xAF") << 3;
    QTest::newRow("overlong four-byte") << QByteArray("\xF0\x80\x80\xAF") << 4;
    QTest::newRow("encoded surrogate") << QByteArray("\xED\xB2\x80") << 3;
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xF4\x90\x80\x80") << 4;
    QTest::newRow("stray continuation") << QByteArray("a\x80\xBF") << 2;
    QTest::newRow("latin-1 name") << QByteArray("caf\xE9.txt") << 1;
    QTest::newRow("valid then invalid") << QByteArray("\xC3\xA9\xFF") << 1;
}

void TestNameCodec::invalidSequences()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, escaped);
    const QString text = decodeName(bytes);
    int found = 0;
    for (QChar c : text)
        found += (c.unicode() >= 0xDC80 && c.unicode() <= 0xDCFF) ? 1 : 0;
    QCOMPARE(found, escaped);
    QCOMPARE(encodeName(text), bytes);
    QVERIFY(platform::hasEscapedBytes(text));
}

void TestNameCodec::randomBytesRoundTrip()
{
    QRandomGenerator random(20261208);
    for (int round = 0; round < 5000; ++round) {
        QByteArray bytes(random.bounded(1, 40), '\0');
        for (char &b : bytes) {
            // Lean towards bytes that start or continue multi-byte sequences.
            const int pick = random.bounded(4);
            b = char(pick == 0 ? random.bounded(1, 0x80) : random.bounded(0x80, 0x100));
        }
        const QByteArray back = encodeName(decodeName(bytes));
        if (back != bytes)
            QFAIL(qPrintable(QStringLiteral("round trip changed %1")
                                 .arg(QString::fromLatin1(bytes.toHex(' ')))));
    }
}

void TestNameCodec::unrepresentableText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("lone high surrogate") << QString(QChar(char16_t(0xD800)));
    QTest::newRow("high surrogate at end") << QStringLiteral("a") + QChar(char16_t(0xDBFF));
    QTest::newRow("low surrogate below escapes") << QString(QChar(char16_t(0xDC10)));
}

void TestNameCodec::unrepresentableText()
{
    QFETCH(QString, text);
    try {
        encodeName(text);
        QFAIL("a text no byte string maps to was encoded");
    } catch (const platform::Failure &failure) {
        QCOMPARE(failure.number(), EILSEQ);
    }
}

void TestNameCodec::displayShowsReplacementGlyphs()
{
    const QString text = decodeName(QByteArray("caf\xE9 \xC3\xA9"));
    QCOMPARE(platform::displayName(text), QStringLiteral("caf\uFFFD é"));
    QCOMPARE(platform::displayName(QStringLiteral("plain")), QStringLiteral("plain"));
}

QTEST_GUILESS_MAIN(TestNameCodec)
#include "tst_namecodec.moc"
