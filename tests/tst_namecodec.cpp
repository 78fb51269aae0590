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
    void displayName_data();
    void displayName();
    void editedName_data();
    void editedName();
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

void TestNameCodec::displayName_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << QStringLiteral("plain") << QStringLiteral("plain");
    QTest::newRow("escaped bytes")
        << decodeName(QByteArray("caf\xE9 \xC3\xA9")) << QStringLiteral("caf\uFFFD é");
    QTest::newRow("right-to-left override")
        << QStringLiteral("invoice\u202Efdp.exe") << QStringLiteral("invoice⟨U+202E⟩fdp.exe");
    QTest::newRow("every bidi control")
        << QStringLiteral(
               "\u202A\u202B\u202C\u202D\u202E\u2066\u2067\u2068\u2069\u200E\u200F\u061C")
        << QStringLiteral("⟨U+202A⟩⟨U+202B⟩⟨U+202C⟩⟨U+202D⟩⟨U+202E⟩⟨U+2066⟩⟨U+2067⟩⟨U+2068⟩"
                          "⟨U+2069⟩⟨U+200E⟩⟨U+200F⟩⟨U+061C⟩");
    QTest::newRow("escaped byte and isolate") << decodeName(QByteArray("a\xFF\xE2\x81\xA7"
                                                                       "b"))
                                              << QStringLiteral("a\uFFFD⟨U+2067⟩b");
    QTest::newRow("right-to-left letters and joiners stay")
        << QStringLiteral("تقرير \U0001F469\u200D\U0001F4BB.pdf")
        << QStringLiteral("تقرير \U0001F469\u200D\U0001F4BB.pdf");
}

// Shown names replace what would hide or reorder them; the exact name is never changed.
void TestNameCodec::displayName()
{
    QFETCH(QString, text);
    QFETCH(QString, shown);
    const QString before = text;
    QCOMPARE(platform::displayName(text), shown);
    QCOMPARE(text, before);
}

void TestNameCodec::editedName_data()
{
    QTest::addColumn<QString>("original");
    QTest::addColumn<QString>("edited"); // the rename box's text after the user's change
    QTest::addColumn<QString>("expected");
    const QString rlo = QStringLiteral("invoice\u202Efdp.exe");
    QTest::newRow("unchanged") << rlo << QStringLiteral("invoice⟨U+202E⟩fdp.exe") << rlo;
    QTest::newRow("end changed, control kept") << rlo << QStringLiteral("invoice⟨U+202E⟩fdp.txt")
                                               << QStringLiteral("invoice\u202Efdp.txt");
    QTest::newRow("start changed, control kept")
        << rlo << QStringLiteral("old invoice⟨U+202E⟩fdp.exe")
        << QStringLiteral("old invoice\u202Efdp.exe");
    QTest::newRow("mark deleted") << rlo << QStringLiteral("invoicefdp.exe")
                                  << QStringLiteral("invoicefdp.exe");
    QTest::newRow("mark cut into, the rest is text")
        << rlo << QStringLiteral("invoice⟨U+202Efdp.exe")
        << QStringLiteral("invoice⟨U+202Efdp.exe");
    QTest::newRow("mark typed into a plain name")
        << QStringLiteral("plain") << QStringLiteral("pl⟨U+202E⟩ain")
        << QStringLiteral("pl⟨U+202E⟩ain");
    QTest::newRow("name holding a mark's text")
        << QStringLiteral("a⟨U+202E⟩b") << QStringLiteral("a⟨U+202E⟩b.txt")
        << QStringLiteral("a⟨U+202E⟩b.txt");
    QTest::newRow("repeated letters around a control") << QStringLiteral(
        "aa\u2067aa") << QStringLiteral("aa⟨U+2067⟩a") << QStringLiteral("aa\u2067a");
    QTest::newRow("escaped bytes kept")
        << decodeName(QByteArray("caf\xE9\xE2\x80\x8F"))
        << decodeName(QByteArray("caf\xE9")) + QStringLiteral("⟨U+200F⟩.old")
        << decodeName(QByteArray("caf\xE9\xE2\x80\x8F.old"));
    QTest::newRow("all replaced") << rlo << QStringLiteral("new.txt") << QStringLiteral("new.txt");
}

// The rename box shows the marked form; what the user leaves alone keeps its exact characters.
void TestNameCodec::editedName()
{
    QFETCH(QString, original);
    QFETCH(QString, edited);
    QFETCH(QString, expected);
    QCOMPARE(platform::editedName(original, edited), expected);
}

QTEST_GUILESS_MAIN(TestNameCodec)
#include "tst_namecodec.moc"
