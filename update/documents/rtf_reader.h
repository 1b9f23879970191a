// A small reader of rich text (RTF) for the licence texts: groups, control
// words and symbols, paragraphs, tabs and line breaks, the font and colour
// tables, bold, italic, underline, colours and font sizes, \'hh escapes in
// Windows-1252, \uN with its fallback characters, and the ignorable
// destinations \*.  Pictures, objects, fields' instructions and other
// destinations are skipped.  Any input is read safely: unbalanced braces,
// stray text and garbage give some text or an empty document, never a crash,
// with nesting and numbers bounded.
#pragma once

#include <QByteArray>

class QTextDocument;

namespace ckupdate {

struct RtfReadResult {
    bool isRtf = false;      // the input began with "{\rtf"
    int paragraphs = 0;      // paragraph ends written
    bool truncated = false;  // nesting deeper than the limit was cut off
};

inline constexpr int kRtfMaxGroupDepth = 256;

// Replaces the document's content with the text of rtf.  Input that does not
// begin with "{\rtf" is shown as plain Windows-1252 text.
RtfReadResult ReadRtf(const QByteArray& rtf, QTextDocument& document);

}  // namespace ckupdate
