#include "update/documents/rtf_reader.h"

#include "update/documents/rtf_lexer.h"
#include "update/widgets/windows1252.h"

#include <QColor>
#include <QHash>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextOption>

#include <algorithm>
#include <string_view>
#include <vector>

namespace ckupdate {
namespace {

constexpr int kMaxColours = 1024;
constexpr int kMaxFonts = 4096;
constexpr int kMaxUnicodeSkip = 255;
constexpr double kTwipsPerPixel = 15.0;  // 1440 twips per inch at 96 pixels per inch
constexpr int kMaxTwips = 31680;         // 22 inches
constexpr int kMaxHalfPoints = 2000;
constexpr int kDefaultTabTwips = 720;

enum class Destination { Text, Skip, FontTable, ColourTable };

// Character and paragraph properties and the destination: what a group saves
// at "{" and restores at "}".
// What \pard resets: alignment, indents and spacing.
struct ParagraphFormat {
    Qt::Alignment alignment = Qt::AlignLeft;
    int leftTwips = 0;
    int rightTwips = 0;
    int firstTwips = 0;
    int beforeTwips = 0;
    int afterTwips = 0;
};

struct GroupState {
    Destination destination = Destination::Text;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    int vertical = 0;     // -1 subscript, 1 superscript
    int halfPoints = 0;   // 0: the document's default size
    int colour = 0;       // 0: automatic
    int background = 0;   // 0: none
    int font = -1;        // -1: the document's default font
    int unicodeSkip = 1;  // characters that stand in for \uN
    ParagraphFormat paragraph;
};

// Destinations whose content is not shown.
bool IsSkippedDestination(std::string_view w) {
    static constexpr std::string_view kSkipped[] = {
        "author",   "bkmkend",    "bkmkstart", "buptim",       "colorschememapping", "comment",  "company",
        "creatim",  "datafield",  "datastore", "docvar",       "doccomm",            "filetbl",  "fldinst",
        "footer",   "footerf",    "footerl",   "footerr",      "footnote",           "ftncn",    "ftnsep",
        "ftnsepc",  "generator",  "header",    "headerf",      "headerl",            "headerr",  "info",
        "keywords", "latentstyles", "listoverridetable", "listtable", "nonshppict",  "object",   "objdata",
        "operator", "pict",       "pn",        "printim",      "private",            "revtbl",   "revtim",
        "rsidtbl",  "stylesheet", "subject",   "template",     "themedata",          "title",    "userprops",
        "xmlnstbl",
    };
    return std::find(std::begin(kSkipped), std::end(kSkipped), w) != std::end(kSkipped);
}

QChar NamedCharacter(std::string_view w) {
    if (w == "emdash") return QChar(0x2014);
    if (w == "endash") return QChar(0x2013);
    if (w == "bullet") return QChar(0x2022);
    if (w == "lquote") return QChar(0x2018);
    if (w == "rquote") return QChar(0x2019);
    if (w == "ldblquote") return QChar(0x201C);
    if (w == "rdblquote") return QChar(0x201D);
    if (w == "emspace") return QChar(0x2003);
    if (w == "enspace") return QChar(0x2002);
    if (w == "qmspace") return QChar(0x2005);
    return QChar();
}

class RtfInterpreter {
public:
    RtfInterpreter(std::string_view input, QTextDocument& document) : lexer_(input), cursor_(&document) {}

    RtfReadResult Run() {
        RtfReadResult result;
        result.isRtf = true;
        states_.push_back(GroupState{});
        // The first token is the "{" of the document group.
        for (RtfToken t = lexer_.Next(); t.kind != RtfToken::Kind::End; t = lexer_.Next()) {
            if (!Handle(t)) break;
        }
        FlushText();
        if (states_.size() > 1) cursor_.setBlockFormat(BlockFormat());  // a document never closed
        result.paragraphs = paragraphs_;
        result.truncated = truncated_;
        return result;
    }

private:
    GroupState& State() { return states_.back(); }

    // False when the document group has ended.
    bool Handle(const RtfToken& t) {
        if (overflowDepth_ > 0) return SkipOverflow(t);
        switch (t.kind) {
        case RtfToken::Kind::GroupStart:
            pendingSkip_ = 0;
            if (static_cast<int>(states_.size()) > kRtfMaxGroupDepth) {
                truncated_ = true;
                overflowDepth_ = 1;
                return true;
            }
            FlushText();
            states_.push_back(State());
            return true;
        case RtfToken::Kind::GroupEnd:
            pendingSkip_ = 0;
            FlushText();
            if (State().destination == Destination::FontTable) CommitFontName();
            if (states_.size() <= 1) return true;  // a stray "}" before the document group
            if (states_.size() == 2) cursor_.setBlockFormat(BlockFormat());  // the last paragraph
            states_.pop_back();
            return states_.size() > 1;  // text after the document group is not read
        case RtfToken::Kind::ControlWord:
            ControlWord(t);
            return true;
        case RtfToken::Kind::ControlSymbol:
            ControlSymbol(t.symbol);
            return true;
        case RtfToken::Kind::HexByte:
            Byte(t.byte);
            return true;
        case RtfToken::Kind::Text:
            for (const char c : t.word) Byte(static_cast<unsigned char>(c));
            return true;
        case RtfToken::Kind::End:
            return false;
        }
        return true;
    }

    // Everything nested deeper than the limit is passed over.
    bool SkipOverflow(const RtfToken& t) {
        if (t.kind == RtfToken::Kind::GroupStart) ++overflowDepth_;
        if (t.kind == RtfToken::Kind::GroupEnd) --overflowDepth_;
        return true;
    }

    bool SkipForUnicode() {
        if (pendingSkip_ == 0) return false;
        --pendingSkip_;
        return true;
    }

    void Byte(unsigned char byte) {
        if (SkipForUnicode()) return;
        switch (State().destination) {
        case Destination::Skip:
            return;
        case Destination::FontTable:
            if (byte == ';')
                CommitFontName();
            else
                fontName_.append(FromWindows1252(byte));
            return;
        case Destination::ColourTable:
            if (byte == ';') CommitColour();
            return;
        case Destination::Text:
            break;
        }
        if (byte == '\t') {
            Append(QChar('\t'));
        } else if (byte >= 0x20) {
            Append(FromWindows1252(byte));
        }
    }

    void Append(QChar ch) {
        if (State().destination != Destination::Text || State().hidden) return;
        text_.append(ch);
    }

    void ControlSymbol(char symbol) {
        if (symbol == '*') {
            // An ignorable destination: this reader knows none worth showing.
            State().destination = Destination::Skip;
            return;
        }
        if (SkipForUnicode()) return;
        switch (symbol) {
        case '\\':
        case '{':
        case '}':
            if (State().destination == Destination::FontTable)
                fontName_.append(QLatin1Char(symbol));
            else
                Append(QLatin1Char(symbol));
            break;
        case '~':
            Append(QChar(0x00A0));
            break;
        case '_':
            Append(QChar(0x2011));
            break;
        case '\r':
        case '\n':
            Paragraph();
            break;
        default:  // \- optional hyphen, \: index entry, \| formula and broken escapes
            break;
        }
    }

    void ControlWord(const RtfToken& t) {
        const std::string_view w = t.word;
        const int p = t.parameter;
        const bool on = !t.hasParameter || p != 0;
        GroupState& s = State();

        if (w == "u") {
            Unicode(p);
            return;
        }
        if (SkipForUnicode()) return;

        if (w == "rtf" || w == "ansi" || w == "ansicpg" || w == "deff" || w == "deftab") {
            if (w == "deff" && t.hasParameter) defaultFont_ = p;
            if (w == "deftab" && t.hasParameter) SetDefaultTab(p);
        } else if (w == "fonttbl") {
            s.destination = Destination::FontTable;
        } else if (w == "colortbl") {
            s.destination = Destination::ColourTable;
            colours_.clear();
            ResetColourComponents();
        } else if (IsSkippedDestination(w)) {
            s.destination = Destination::Skip;
        } else if (s.destination == Destination::FontTable) {
            if (w == "f" && t.hasParameter) {
                CommitFontName();
                fontIndex_ = p;
            }
        } else if (s.destination == Destination::ColourTable) {
            const int value = std::clamp(t.hasParameter ? p : 0, 0, 255);
            if (w == "red") red_ = value;
            if (w == "green") green_ = value;
            if (w == "blue") blue_ = value;
        } else if (s.destination == Destination::Skip) {
            // nothing inside a skipped destination matters
        } else if (w == "par" || w == "sect" || w == "page" || w == "row") {
            Paragraph();
        } else if (w == "line") {
            Append(QChar(QChar::LineSeparator));
        } else if (w == "tab" || w == "cell") {
            Append(QChar('\t'));
        } else if (const QChar named = NamedCharacter(w); !named.isNull()) {
            Append(named);
        } else if (w == "uc") {
            s.unicodeSkip = std::clamp(p, 0, kMaxUnicodeSkip);
        } else {
            Formatting(w, t.hasParameter, p, on);
        }
    }

    void Formatting(std::string_view w, bool hasParameter, int p, bool on) {
        GroupState& s = State();
        GroupState before = s;
        if (w == "b") s.bold = on;
        else if (w == "i") s.italic = on;
        else if (w == "ul") s.underline = on;
        else if (w == "uld" || w == "uldb" || w == "ulw" || w == "ulth") s.underline = on;
        else if (w == "ulnone") s.underline = false;
        else if (w == "strike") s.strike = on;
        else if (w == "v") s.hidden = on;
        else if (w == "fs") s.halfPoints = hasParameter ? std::clamp(p, 1, kMaxHalfPoints) : 24;
        else if (w == "cf") s.colour = std::max(p, 0);
        else if (w == "highlight" || w == "cb") s.background = std::max(p, 0);
        else if (w == "f") s.font = p;
        else if (w == "super") s.vertical = 1;
        else if (w == "sub") s.vertical = -1;
        else if (w == "nosupersub") s.vertical = 0;
        else if (w == "plain") PlainCharacters(s);
        else if (w == "pard") PlainParagraph(s);
        else if (w == "ql") s.paragraph.alignment = Qt::AlignLeft;
        else if (w == "qr") s.paragraph.alignment = Qt::AlignRight;
        else if (w == "qc") s.paragraph.alignment = Qt::AlignHCenter;
        else if (w == "qj") s.paragraph.alignment = Qt::AlignJustify;
        else if (w == "li") s.paragraph.leftTwips = Twips(p);
        else if (w == "ri") s.paragraph.rightTwips = Twips(p);
        else if (w == "fi") s.paragraph.firstTwips = Twips(p);
        else if (w == "sb") s.paragraph.beforeTwips = Twips(p);
        else if (w == "sa") s.paragraph.afterTwips = Twips(p);
        else return;  // words this reader does not know are passed over
        if (CharacterPropertiesDiffer(before, s)) FlushText(before);
    }

    void SetDefaultTab(int twips) {
        QTextOption option = cursor_.document()->defaultTextOption();
        option.setTabStopDistance(std::clamp(twips, 1, kMaxTwips) / kTwipsPerPixel);
        cursor_.document()->setDefaultTextOption(option);
    }

    static int Twips(int value) { return std::clamp(value, -kMaxTwips, kMaxTwips); }

    static void PlainCharacters(GroupState& s) {
        GroupState plain;
        plain.destination = s.destination;
        plain.unicodeSkip = s.unicodeSkip;
        plain.paragraph = s.paragraph;
        s = plain;
    }

    static void PlainParagraph(GroupState& s) { s.paragraph = ParagraphFormat{}; }

    static bool CharacterPropertiesDiffer(const GroupState& a, const GroupState& b) {
        return a.bold != b.bold || a.italic != b.italic || a.underline != b.underline || a.strike != b.strike ||
               a.hidden != b.hidden || a.vertical != b.vertical || a.halfPoints != b.halfPoints ||
               a.colour != b.colour || a.background != b.background || a.font != b.font;
    }

    void Unicode(int value) {
        // Negative values stand for code units above 0x7FFF.
        const auto unit = static_cast<char16_t>(value < 0 ? value + 65536 : value);
        if (State().destination == Destination::FontTable)
            fontName_.append(QChar(unit));
        else
            Append(QChar(unit));
        pendingSkip_ = State().unicodeSkip;
    }

    void Paragraph() {
        if (State().destination != Destination::Text) return;
        FlushText();
        cursor_.setBlockFormat(BlockFormat());
        cursor_.insertBlock();
        ++paragraphs_;
    }

    void CommitFontName() {
        QString name = fontName_.trimmed();
        fontName_.clear();
        if (fontIndex_ < 0 || name.isEmpty()) return;
        if (fonts_.size() < kMaxFonts || fonts_.contains(fontIndex_)) fonts_.insert(fontIndex_, name);
        fontIndex_ = -1;
    }

    void ResetColourComponents() { red_ = green_ = blue_ = -1; }

    void CommitColour() {
        if (static_cast<int>(colours_.size()) < kMaxColours) {
            // An entry without components is the automatic colour.
            if (red_ < 0 && green_ < 0 && blue_ < 0)
                colours_.push_back(QColor());
            else
                colours_.push_back(QColor(std::max(red_, 0), std::max(green_, 0), std::max(blue_, 0)));
        }
        ResetColourComponents();
    }

    QColor Colour(int index) const {
        if (index <= 0 || index >= static_cast<int>(colours_.size())) return QColor();
        return colours_[static_cast<std::size_t>(index)];
    }

    QTextCharFormat CharFormat(const GroupState& s) const {
        QTextCharFormat f;
        f.setFontWeight(s.bold ? QFont::Bold : QFont::Normal);
        f.setFontItalic(s.italic);
        f.setFontUnderline(s.underline);
        f.setFontStrikeOut(s.strike);
        if (s.halfPoints > 0) f.setFontPointSize(s.halfPoints / 2.0);
        const int font = s.font >= 0 ? s.font : defaultFont_;
        if (const auto it = fonts_.constFind(font); it != fonts_.constEnd()) f.setFontFamilies({*it});
        if (const QColor c = Colour(s.colour); c.isValid()) f.setForeground(c);
        if (const QColor c = Colour(s.background); c.isValid()) f.setBackground(c);
        if (s.vertical > 0) f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        if (s.vertical < 0) f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
        return f;
    }

    QTextBlockFormat BlockFormat() const {
        const GroupState& s = states_.back();
        QTextBlockFormat f;
        f.setAlignment(s.paragraph.alignment);
        f.setLeftMargin(std::max(0, s.paragraph.leftTwips) / kTwipsPerPixel);
        f.setRightMargin(std::max(0, s.paragraph.rightTwips) / kTwipsPerPixel);
        f.setTextIndent(s.paragraph.firstTwips / kTwipsPerPixel);
        f.setTopMargin(std::max(0, s.paragraph.beforeTwips) / kTwipsPerPixel);
        f.setBottomMargin(std::max(0, s.paragraph.afterTwips) / kTwipsPerPixel);
        return f;
    }

    void FlushText() { FlushText(State()); }

    void FlushText(const GroupState& s) {
        if (text_.isEmpty()) return;
        cursor_.insertText(WithoutLoneSurrogates(text_), CharFormat(s));
        text_.clear();
    }

    static QString WithoutLoneSurrogates(QString text) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text[i];
            if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
                ++i;
            } else if (c.isSurrogate()) {
                text[i] = QChar::ReplacementCharacter;
            }
        }
        return text;
    }

    RtfLexer lexer_;
    QTextCursor cursor_;
    std::vector<GroupState> states_;
    QString text_;
    int pendingSkip_ = 0;
    int overflowDepth_ = 0;
    bool truncated_ = false;
    int paragraphs_ = 0;
    int defaultFont_ = 0;
    QHash<int, QString> fonts_;
    int fontIndex_ = -1;
    QString fontName_;
    std::vector<QColor> colours_;
    int red_ = -1, green_ = -1, blue_ = -1;
};

bool BeginsAsRtf(const QByteArray& data) {
    return data.startsWith("{\\rtf");
}

}  // namespace

RtfReadResult ReadRtf(const QByteArray& rtf, QTextDocument& document) {
    document.clear();
    if (!BeginsAsRtf(rtf)) {
        document.setPlainText(FromWindows1252(rtf));
        return {};
    }
    // Tab stops every half inch unless the document says otherwise.
    QTextOption option = document.defaultTextOption();
    option.setTabStopDistance(kDefaultTabTwips / kTwipsPerPixel);
    document.setDefaultTextOption(option);
    RtfInterpreter reader(std::string_view(rtf.constData(), static_cast<std::size_t>(rtf.size())), document);
    return reader.Run();
}

}  // namespace ckupdate
