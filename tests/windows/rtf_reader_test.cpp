// The RTF reader: what a licence text needs, and input that is broken in every
// way a file can be.
#include "update/documents/rtf_reader.h"

#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include <random>
#include <vector>

namespace ckupdate {
namespace {

struct TextRun {
    QString text;
    QTextCharFormat format;
};

// The text fragments of the document in order.
std::vector<TextRun> Runs(const QTextDocument& doc) {
    std::vector<TextRun> runs;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        for (auto it = b.begin(); !it.atEnd(); ++it) {
            const QTextFragment f = it.fragment();
            if (f.isValid()) runs.push_back({f.text(), f.charFormat()});
        }
    }
    return runs;
}

const TextRun* RunWith(const std::vector<TextRun>& runs, const QString& text) {
    for (const TextRun& r : runs)
        if (r.text.contains(text)) return &r;
    return nullptr;
}

QString Read(const QByteArray& rtf, RtfReadResult* result = nullptr) {
    QTextDocument doc;
    const RtfReadResult r = ReadRtf(rtf, doc);
    if (result != nullptr) *result = r;
    // The raw text keeps line separators and no-break spaces as they are.
    return doc.toRawText().replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
}

TEST(RtfReader, ParagraphsTabsAndLineBreaks) {
    RtfReadResult r;
    const QString text = Read("{\\rtf1\\ansi First\\par Second\\tab col\\line next\\par}", &r);
    EXPECT_TRUE(r.isRtf);
    EXPECT_EQ(2, r.paragraphs);
    EXPECT_EQ(QStringLiteral("First\nSecond\tcol\u2028next\n"), text);
}

TEST(RtfReader, LineEndsInTheFileAreNotText) {
    EXPECT_EQ(QStringLiteral("onetwo"), Read("{\\rtf1 one\r\ntwo}"));
    // ... but a backslash before a line end is a paragraph.
    EXPECT_EQ(QStringLiteral("one\ntwo"), Read("{\\rtf1 one\\\ntwo}"));
}

TEST(RtfReader, ControlWordsEndAtASpaceThatIsNotText) {
    EXPECT_EQ(QStringLiteral("ab c"), Read("{\\rtf1 a\\b b\\b0  c}"));
}

TEST(RtfReader, EscapedBracesBackslashAndSpecialCharacters) {
    EXPECT_EQ(QStringLiteral("{x}\\ a\u00A0b\u2011c\u2014\u2013\u2022\u2018\u2019\u201C\u201D"),
              Read("{\\rtf1 \\{x\\}\\\\ a\\~b\\_c\\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote}"));
    EXPECT_EQ(QStringLiteral("hyphen"), Read("{\\rtf1 hy\\-phen}"));
}

TEST(RtfReader, HexEscapesAreWindows1252) {
    EXPECT_EQ(QStringLiteral("caf\u00E9 \u20AC \u201E \u00FC"), Read("{\\rtf1 caf\\'e9 \\'80 \\'84 \\'FC}"));
}

TEST(RtfReader, UnicodeWithItsFallbackSkipped) {
    // \uc1 is the default: one fallback character follows \u.
    EXPECT_EQ(QStringLiteral("\u20AC!"), Read("{\\rtf1 \\u8364?!}"));
    // A fallback written as a hex escape counts as one character.
    EXPECT_EQ(QStringLiteral("\u0141x"), Read("{\\rtf1 \\u321\\'4cx}"));
    EXPECT_EQ(QStringLiteral("\u4E2Dab"), Read("{\\rtf1\\uc2 \\u20013??ab}"));
    EXPECT_EQ(QStringLiteral("\u4E2D?"), Read("{\\rtf1\\uc0 \\u20013?}"));
    // Negative values are the code units above 0x7FFF.
    EXPECT_EQ(QStringLiteral("\uFFFD"), Read("{\\rtf1 \\u-3?}"));
    // A surrogate pair written as two \u gives one character.
    EXPECT_EQ(QString::fromUcs4(U"\U0001F600"), Read("{\\rtf1 \\u-10179?\\u-8704?}"));
    // The skip count is kept per group.
    EXPECT_EQ(QStringLiteral("\u00E9b\u00E9"), Read("{\\rtf1 {\\uc3 \\u233 xyzb}\\u233?}"));
}

TEST(RtfReader, LoneSurrogatesBecomeReplacementCharacters) {
    EXPECT_EQ(QStringLiteral("a\uFFFDb"), Read("{\\rtf1 a\\u-10179?b}"));
}

TEST(RtfReader, TablesAndInformationAreNotShown) {
    const QString text =
        Read("{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Tahoma;}{\\f1\\froman Times New Roman;}}"
             "{\\colortbl;\\red255\\green0\\blue0;}{\\stylesheet{\\s0 Normal;}}"
             "{\\info{\\title Licence}{\\author Someone}}{\\*\\generator Writer 1.0;}"
             "{\\header Page header}{\\pict\\wmetafile8 0102030405}Body}");
    EXPECT_EQ(QStringLiteral("Body"), text);
}

TEST(RtfReader, IgnorableDestinationsAreSkippedWholly) {
    EXPECT_EQ(QStringLiteral("ab"), Read("{\\rtf1 a{\\*\\unknowndest hidden {nested} text}b}"));
    // An unknown destination without \* shows its text.
    EXPECT_EQ(QStringLiteral("avisibleb"), Read("{\\rtf1 a{\\unknownword visible}b}"));
}

TEST(RtfReader, FieldsShowTheirResultOnly) {
    EXPECT_EQ(QStringLiteral("see example.org now"),
              Read("{\\rtf1 see {\\field{\\*\\fldinst HYPERLINK \"http://example.org\"}{\\fldrslt example.org}} now}"));
}

TEST(RtfReader, BinaryDataIsSkipped) {
    QByteArray rtf("{\\rtf1 a{\\pict\\bin5 ");
    rtf.append(QByteArray("}{\\\x01", 5));
    rtf.append("}b}");
    EXPECT_EQ(QStringLiteral("ab"), Read(rtf));
}

TEST(RtfReader, CharacterFormatsFollowGroupsAndToggles) {
    QTextDocument doc;
    ReadRtf("{\\rtf1{\\fonttbl{\\f0 Tahoma;}{\\f1 Courier New;}}{\\colortbl;\\red200\\green10\\blue30;}"
            "plain {\\b bold {\\i bolditalic}} \\ul under\\ul0  \\ulnone {\\cf1 red} {\\fs40 big} {\\f1 mono}"
            " {\\strike gone} x\\super 2\\nosupersub  \\b toggledon\\b0  toggledoff\\plain  afterplain}",
            doc);
    const auto runs = Runs(doc);
    auto format = [&](const char* t) {
        const TextRun* r = RunWith(runs, QString::fromLatin1(t));
        EXPECT_NE(nullptr, r) << t;
        return r != nullptr ? r->format : QTextCharFormat();
    };
    EXPECT_EQ(QFont::Normal, format("plain").fontWeight());
    EXPECT_EQ(QFont::Bold, format("bold").fontWeight());
    EXPECT_FALSE(format("bold").fontItalic());
    EXPECT_TRUE(format("bolditalic").fontItalic());
    EXPECT_EQ(QFont::Bold, format("bolditalic").fontWeight());
    EXPECT_TRUE(format("under").fontUnderline());
    EXPECT_EQ(QColor(200, 10, 30), format("red").foreground().color());
    EXPECT_DOUBLE_EQ(20.0, format("big").fontPointSize());
    EXPECT_EQ(QStringList{QStringLiteral("Courier New")}, format("mono").fontFamilies().toStringList());
    EXPECT_EQ(QStringList{QStringLiteral("Tahoma")}, format("red").fontFamilies().toStringList());
    EXPECT_TRUE(format("gone").fontStrikeOut());
    EXPECT_EQ(QTextCharFormat::AlignSuperScript, format("2").verticalAlignment());
    EXPECT_EQ(QFont::Bold, format("toggledon").fontWeight());
    EXPECT_EQ(QFont::Normal, format("toggledoff").fontWeight());
    EXPECT_EQ(QFont::Normal, format("afterplain").fontWeight());
    EXPECT_EQ(QStringList{QStringLiteral("Tahoma")}, format("afterplain").fontFamilies().toStringList());
}

TEST(RtfReader, ParagraphFormatsAndPard) {
    QTextDocument doc;
    ReadRtf("{\\rtf1\\qc centred\\par\\pard\\li1440\\fi-360\\sa300 indented\\par\\pard\\qr right}", doc);
    QTextBlock b = doc.begin();
    EXPECT_EQ(QStringLiteral("centred"), b.text());
    EXPECT_EQ(Qt::AlignHCenter, b.blockFormat().alignment() & Qt::AlignHorizontal_Mask);
    b = b.next();
    EXPECT_EQ(QStringLiteral("indented"), b.text());
    EXPECT_EQ(Qt::AlignLeft, b.blockFormat().alignment() & Qt::AlignHorizontal_Mask);
    EXPECT_DOUBLE_EQ(96.0, b.blockFormat().leftMargin());
    EXPECT_DOUBLE_EQ(-24.0, b.blockFormat().textIndent());
    EXPECT_DOUBLE_EQ(20.0, b.blockFormat().bottomMargin());
    b = b.next();
    EXPECT_EQ(QStringLiteral("right"), b.text());
    EXPECT_EQ(Qt::AlignRight, b.blockFormat().alignment() & Qt::AlignHorizontal_Mask);
}

TEST(RtfReader, HiddenTextIsNotShown) {
    EXPECT_EQ(QStringLiteral("ab"), Read("{\\rtf1 a{\\v secret}b}"));
}

TEST(RtfReader, UnbalancedBracesAndTextAfterTheDocument) {
    // Never closed: everything up to the end is read.
    EXPECT_EQ(QStringLiteral("open group"), Read("{\\rtf1 open {\\b group"));
    // Closed too often: the document ends at its own brace.
    EXPECT_EQ(QStringLiteral("done"), Read("{\\rtf1 done}} trailing {\\b more}"));
}

TEST(RtfReader, BrokenEscapesAndLoneBackslashes) {
    EXPECT_EQ(QStringLiteral("azb"), Read("{\\rtf1 a\\'zb}"));
    EXPECT_EQ(QStringLiteral("a4"), Read("{\\rtf1 a\\'4"));
    EXPECT_EQ(QStringLiteral("a"), Read("{\\rtf1 a\\"));
}

TEST(RtfReader, OversizedWordsAndNumbersAreBounded) {
    const QByteArray longWord = "{\\rtf1 \\" + QByteArray(5000, 'x') + " text}";
    EXPECT_EQ(QStringLiteral("text"), Read(longWord));
    // A parameter far beyond 32 bits, a size that would be absurd, a colour index out of the table.
    QTextDocument doc;
    ReadRtf("{\\rtf1{\\colortbl;\\red1\\green2\\blue3;}\\fs99999999999999999999 \\cf77777777777 \\li-99999999 x\\u99999999999?y}",
            doc);
    const auto runs = Runs(doc);
    ASSERT_FALSE(runs.empty());
    EXPECT_LE(runs.front().format.fontPointSize(), 1000.0);
    EXPECT_FALSE(runs.front().format.hasProperty(QTextFormat::ForegroundBrush));
}

TEST(RtfReader, NestingBeyondTheLimitIsCutOff) {
    QByteArray deep = "{\\rtf1 top";
    for (int i = 0; i < 100000; ++i) deep += "{x";
    for (int i = 0; i < 100000; ++i) deep += "}";
    deep += " tail}";
    RtfReadResult r;
    const QString text = Read(deep, &r);
    EXPECT_TRUE(r.truncated);
    EXPECT_TRUE(text.startsWith(QStringLiteral("top")));
    EXPECT_TRUE(text.endsWith(QStringLiteral(" tail")));
    EXPECT_LE(text.count(QLatin1Char('x')), kRtfMaxGroupDepth);
}

TEST(RtfReader, InputThatIsNotRtfIsShownAsPlainText) {
    RtfReadResult r;
    EXPECT_EQ(QStringLiteral("Just text {with} \\braces \u00E9"), Read("Just text {with} \\braces \xE9", &r));
    EXPECT_FALSE(r.isRtf);
    EXPECT_EQ(QString(), Read(QByteArray()));
}

TEST(RtfReader, ReadingAgainReplacesTheContent) {
    QTextDocument doc;
    ReadRtf("{\\rtf1 first}", doc);
    ReadRtf("{\\rtf1 second}", doc);
    EXPECT_EQ(QStringLiteral("second"), doc.toPlainText());
}

// Mutations of a real-looking document: every one is read without a fault
// (the sanitizer build checks the memory side).
TEST(RtfReader, MutatedDocumentsAreReadSafely) {
    const QByteArray base =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fnil\\fcharset0 Tahoma;}}{\\colortbl ;\\red0\\green0\\blue255;}"
        "\\viewkind4\\uc1\\pard\\qc\\b\\f0\\fs24 END USER LICENCE\\b0\\par\\pard\\fs18 Caf\\'e9 \\u8364? "
        "{\\*\\bkmkstart x}{\\field{\\*\\fldinst HYPERLINK}{\\fldrslt link}}\\tab\\line\\cf1 blue\\cf0\\par}";
    std::mt19937 random(12017);
    const char alphabet[] = "{}\\'*0123456789abcdefu- ;\r\n\x80\xff";
    for (int round = 0; round < 3000; ++round) {
        QByteArray input = base;
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits; ++e) {
            const auto at = static_cast<qsizetype>(random() % static_cast<unsigned>(input.size() + 1));
            const char c = alphabet[random() % (sizeof alphabet - 1)];
            switch (random() % 3) {
            case 0: input.insert(at, c); break;
            case 1: if (at < input.size()) input[at] = c; break;
            default: input.truncate(at); break;
            }
            if (input.isEmpty()) input = "{";
        }
        QTextDocument doc;
        ReadRtf(input, doc);
        EXPECT_LE(doc.characterCount(), input.size() + 2) << input.constData();
    }
}

}  // namespace
}  // namespace ckupdate
