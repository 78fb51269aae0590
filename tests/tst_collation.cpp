// The order of names and type texts: the quick table for printable ASCII must give the same
// verdicts as the collator it was drawn from, and the full comparison must be a strict total
// order whichever path each pair takes.

#include "filelist/Collation.h"
#include "filelist/NameOrder.h"
#include "platform/NameCodec.h"
#include "testsupport.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <vector>

using filelist::Collation;

namespace {

int sign(int value)
{
    return (value > 0) - (value < 0);
}

// Digits (zeros weighted up so that leading zeros are common), punctuation, space and letters of
// both cases, including the ones that sit next to each other in the collation.
const char16_t tricky[] = u"0000123456789 !\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~aAbBeEiIzZ";

QString randomText(QRandomGenerator &random, int maxLength)
{
    constexpr int alphabet = int(std::size(tricky)) - 1;
    QString text;
    const int length = int(random.bounded(maxLength + 1));
    for (int k = 0; k < length; ++k)
        text.append(QChar(tricky[random.bounded(alphabet)]));
    return text;
}

// A near neighbour of text: one character changed, inserted or removed, so that pairs share
// prefixes and differ deep inside, where digit runs and ties matter.
QString mutated(QRandomGenerator &random, QString text)
{
    constexpr int alphabet = int(std::size(tricky)) - 1;
    const QChar c(tricky[random.bounded(alphabet)]);
    const int at = text.isEmpty() ? 0 : int(random.bounded(int(text.size())));
    switch (random.bounded(3)) {
    case 0:
        if (!text.isEmpty()) {
            text[at] = c;
            break;
        }
        Q_FALLTHROUGH();
    case 1:
        text.insert(at, c);
        break;
    default:
        if (!text.isEmpty())
            text.remove(at, 1);
        break;
    }
    return text;
}

// A name holding an undecodable byte, as the name codec shows it: x, U+DC80 + byte, y.
QString escaped(char16_t byte)
{
    return QStringLiteral("x") + QChar(char16_t(0xDC00 + byte)) + QStringLiteral("y");
}

QString describe(const QString &a, const QString &b, int fast, int slow)
{
    return QStringLiteral("\"%1\" vs \"%2\": fast %3, collator %4").arg(a, b).arg(fast).arg(slow);
}

} // namespace

class CollationTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { testing::useEnglishLocale(); }
    void cleanup() { testing::useEnglishLocale(); }

    void fastPathAgreesWithCollator_data();
    void fastPathAgreesWithCollator();
    void strictTotalOrder_data();
    void strictTotalOrder();
    void rankingFollowsTheComparison_data() { strictTotalOrder_data(); }
    void rankingFollowsTheComparison();
    void expectedOrder_data();
    void expectedOrder();
};

void CollationTest::fastPathAgreesWithCollator_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<bool>("mustBeFast");
    QTest::newRow("en_US") << QStringLiteral("en_US") << 20240611u << true;
    QTest::newRow("en_US, other seed") << QStringLiteral("en_US") << 7u << true;
    QTest::newRow("C (ordered as English)") << QStringLiteral("C") << 19u << true;
    QTest::newRow("de_DE") << QStringLiteral("de_DE") << 11u << true;
    QTest::newRow("sv_SE (v/w, letters after z)") << QStringLiteral("sv_SE") << 12u << false;
    QTest::newRow("da_DK (aa)") << QStringLiteral("da_DK") << 13u << false;
    QTest::newRow("cs_CZ (ch)") << QStringLiteral("cs_CZ") << 14u << false;
    QTest::newRow("hu_HU (cs, dzs)") << QStringLiteral("hu_HU") << 15u << false;
    QTest::newRow("th_TH") << QStringLiteral("th_TH") << 16u << false;
    QTest::newRow("cy_GB (ll, dd, ff, ph)") << QStringLiteral("cy_GB") << 17u << false;
    QTest::newRow("hr_HR (lj, nj)") << QStringLiteral("hr_HR") << 18u << false;
}

// Where the table is used it must give the collator's verdict; in a locale whose collation it
// cannot follow it must not be used. Either way compare() follows the collator.
void CollationTest::fastPathAgreesWithCollator()
{
    QFETCH(QString, locale);
    QFETCH(quint32, seed);
    QFETCH(bool, mustBeFast);
    QLocale::setDefault(QLocale(locale));
    const Collation collation;
    if (mustBeFast)
        QVERIFY(collation.usesFastPath());
    QRandomGenerator random(seed);

    QStringList disagreements;
    auto check = [&](const QString &a, const QString &b) {
        QVERIFY(Collation::isFastText(a) && Collation::isFastText(b));
        const int slow = collation.collatorCompare(a, b);
        const int full = sign(collation.compare(a, b));
        const int fast = collation.usesFastPath() ? sign(collation.fastCompare(a, b)) : slow;
        if ((fast != slow || (slow != 0 && full != slow)) && disagreements.size() < 10)
            disagreements.push_back(describe(a, b, fast, slow));
        // The byte keys a whole folder is sorted by must order as the fast path does.
        std::string keyA, keyB;
        if (collation.usesFastPath() && collation.appendFastKey(a.toLatin1(), keyA)
            && collation.appendFastKey(b.toLatin1(), keyB)) {
            const int byKey = sign(keyA.compare(keyB));
            if (byKey != fast && disagreements.size() < 10)
                disagreements.push_back(QStringLiteral("keys: ") + describe(a, b, byKey, fast));
        }
    };
    for (int round = 0; round < 1500; ++round) {
        const QString a = randomText(random, 8);
        check(a, randomText(random, 8));
        const QString near = mutated(random, a);
        check(a, near);
        check(near, mutated(random, near));
    }
    // Letter pairs that locales treat as one letter.
    const QStringList pairs = {u"ch"_qs, u"cs"_qs, u"dzs"_qs, u"aa"_qs, u"ll"_qs, u"lj"_qs,
        u"ij"_qs, u"ng"_qs, u"th"_qs, u"v"_qs, u"w"_qs, u"z"_qs, u"h"_qs, u"i"_qs, u"a"_qs, u"b"_qs,
        u"d"_qs, u"cz"_qs, u"dz"_qs, u"dd"_qs, u"nj"_qs, u"ph"_qs};
    for (const QString &x : pairs) {
        for (const QString &y : pairs) {
            check(x, y);
            check(x + u"b"_qs, y + u"a"_qs);
        }
    }
    QVERIFY2(disagreements.isEmpty(), qPrintable(disagreements.join(QLatin1Char('\n'))));
}

void CollationTest::strictTotalOrder_data()
{
    QTest::addColumn<QString>("locale");
    QTest::newRow("en_US") << QStringLiteral("en_US");
    QTest::newRow("C") << QStringLiteral("C");
    QTest::newRow("da_DK") << QStringLiteral("da_DK");
}

// Mixed ASCII and non-ASCII names take both paths against each other; the order must still be
// irreflexive, antisymmetric and transitive, and only identical texts may compare equal.
void CollationTest::strictTotalOrder()
{
    QFETCH(QString, locale);
    QLocale::setDefault(QLocale(locale));
    const Collation collation;
    QRandomGenerator random(99);

    QStringList names = {u"file10"_qs, u"file2"_qs, u"File2"_qs, u"file02"_qs, u"file002"_qs,
        u"fïle2"_qs, u"Fïle2"_qs, u"résumé.txt"_qs, u"resume.txt"_qs, u"Resume.txt"_qs,
        u"RÉSUMÉ.txt"_qs, u"a"_qs, u"A"_qs, u"ä"_qs, u"Ä"_qs, u"b"_qs, u"z"_qs, u"ö"_qs, u"ø"_qs,
        u"å"_qs, u"aa"_qs, u"\u00E6"_qs, u"ß"_qs, u"ss"_qs, u"ſ"_qs, u"日本"_qs, u"１２"_qs,
        u"12"_qs, escaped(0xFF), escaped(0x80), u"xy"_qs, u"x y"_qs, u""_qs, u"-"_qs, u"_a"_qs,
        u".hidden"_qs, u"~backup"_qs, u"10"_qs, u"9"_qs, u"09"_qs};
    for (int k = 0; k < 30; ++k)
        names.push_back(randomText(random, 5));
    for (int k = 0; k < 10; ++k)
        names.push_back(randomText(random, 3) + u"é"_qs + randomText(random, 3));
    names.removeDuplicates();

    const qsizetype n = names.size();
    std::vector<int> table(size_t(n * n));
    for (qsizetype i = 0; i < n; ++i) {
        for (qsizetype j = 0; j < n; ++j) {
            const int result = collation.compare(names[i], names[j]);
            QVERIFY2((result == 0) == (i == j),
                qPrintable(QStringLiteral("\"%1\" vs \"%2\" gives %3")
                               .arg(names[i], names[j])
                               .arg(result)));
            table[size_t(i * n + j)] = sign(result);
        }
    }
    for (qsizetype i = 0; i < n; ++i) {
        for (qsizetype j = 0; j < n; ++j) {
            QVERIFY2(table[size_t(i * n + j)] == -table[size_t(j * n + i)],
                qPrintable(names[i] + u" / "_qs + names[j]));
            if (table[size_t(i * n + j)] >= 0)
                continue;
            for (qsizetype k = 0; k < n; ++k) {
                if (table[size_t(j * n + k)] < 0 && table[size_t(i * n + k)] >= 0)
                    QFAIL(qPrintable(QStringLiteral("not transitive: \"%1\" < \"%2\" < \"%3\"")
                                         .arg(names[i], names[j], names[k])));
            }
        }
    }
}

// A whole folder's names are put in order through byte keys compared eight bytes at a time;
// that order must be the comparison's, for names sharing long beginnings (deeper than one step
// of eight bytes), numbers, letter case and names that go to the collator.
void CollationTest::rankingFollowsTheComparison()
{
    QFETCH(QString, locale);
    QLocale::setDefault(QLocale(locale));
    const Collation collation;
    QRandomGenerator random(7);
    for (const bool withSlowNames : {false, true}) {
        QStringList names;
        QString seed = u"Holiday photos 2023 - "_qs;
        while (names.size() < 5000) { // enough for the digit-by-digit sort
            seed = random.bounded(4) == 0 ? randomText(random, 30) : mutated(random, seed);
            names.push_back(seed);
            if (withSlowNames && random.bounded(50) == 0)
                names.push_back(seed + u"é"_qs);
        }
        names.removeDuplicates();
        std::vector<QByteArray> bytes;
        for (const QString &name : names)
            bytes.push_back(platform::encodeName(name));
        std::vector<QByteArrayView> views(bytes.begin(), bytes.end());
        const std::vector<quint32> rank = filelist::rankByName(views, collation);
        QStringList ranked(names.size());
        for (qsizetype k = 0; k < names.size(); ++k)
            ranked[rank[size_t(k)]] = names[k];
        QStringList expected = names;
        std::sort(expected.begin(), expected.end(),
            [&](const QString &a, const QString &b) { return collation.compare(a, b) < 0; });
        QCOMPARE(ranked, expected);
        // The first names, asked for after every name was placed.
        filelist::NameOrder order(
            views.size(), [&](quint32 k) { return views[k]; }, collation);
        order.ranks();
        const std::vector<quint32> first = order.first(10);
        for (size_t k = 0; k < first.size(); ++k)
            QCOMPARE(names[first[k]], expected[k]);
    }
}

void CollationTest::expectedOrder_data()
{
    QTest::addColumn<QStringList>("ascending");
    QTest::newRow("numbers by value")
        << QStringList {u"file1"_qs, u"file2"_qs, u"file10"_qs, u"file100"_qs};
    QTest::newRow("case does not decide before the letters do")
        << QStringList {u"apple"_qs, u"Banana"_qs, u"cherry"_qs, u"Date"_qs};
    QTest::newRow("case and leading zeros only break ties")
        << QStringList {u"File2"_qs, u"file002"_qs, u"file02"_qs, u"file2"_qs, u"file10"_qs};
    QTest::newRow("a shorter prefix first") << QStringList {u"a"_qs, u"a b"_qs, u"ab"_qs};
    QTest::newRow("punctuation before digits before letters")
        << QStringList {u"_x"_qs, u"-x"_qs, u".x"_qs, u"1x"_qs, u"ax"_qs};
    QTest::newRow("versions") << QStringList {u"v1.2.9"_qs, u"v1.2.10"_qs, u"v1.10.0"_qs};
    QTest::newRow("accented letters with their base letter")
        << QStringList {u"cote"_qs, u"Côte"_qs, u"côte"_qs, u"coter"_qs, u"dot"_qs};
    QTest::newRow("non-ASCII against ASCII")
        << QStringList {u"Ärger"_qs, u"Zebra"_qs, u"Zürich"_qs, u"zz"_qs};
}

void CollationTest::expectedOrder()
{
    QFETCH(QStringList, ascending);
    const Collation collation;
    QStringList shuffled = ascending;
    std::reverse(shuffled.begin(), shuffled.end());
    std::stable_sort(shuffled.begin(), shuffled.end(),
        [&](const QString &a, const QString &b) { return collation.compare(a, b) < 0; });
    QCOMPARE(shuffled, ascending);
}

QTEST_GUILESS_MAIN(CollationTest)
#include "tst_collation.moc"
