#include "platform/appkit/WrappedTextLines.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <algorithm>
#include <cmath>
#include <optional>

namespace pex {

namespace {

// The wrapping of AttributedString: at word boundaries, or anywhere in text without spaces.
void useWrapping(QTextLayout& layout) {
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
}

// Scripts as Qt's itemisation resolves them: a character of a script of its own (not common,
// inherited or a combining mark) has its script; the others join the run of the strong
// character before them (or, at the start, after them). Unknown: a surrogate (unsure).
std::optional<QChar::Script> strongScript(const QString& text, int i) {
    const QChar c = text.at(i);
    if (c.isSurrogate()) return QChar::Script_Unknown;
    const QChar::Script script = c.script();
    if (script <= QChar::Script_Common || c.isMark()) return std::nullopt;
    return script;
}

constexpr int kLook = 256;

// Whether `text` from `from` on has a right-to-left character: bidirectional text is laid out
// whole (its paragraph direction and levels depend on all of it).
bool hasRightToLeft(const QString& text, int from) {
    for (qsizetype i = from; i < text.size(); ++i) {
        switch (text.at(i).direction()) {
            case QChar::DirR:
            case QChar::DirAL:
            case QChar::DirRLE:
            case QChar::DirRLO:
            case QChar::DirRLI:
            case QChar::DirFSI:
                return true;
            default:
                break;
        }
    }
    return false;
}

// The script of the first strong character at or after `at` (none when the text has none
// there), or Unknown when it lies beyond a bounded look.
std::optional<QChar::Script> scriptAhead(const QString& text, int at) {
    for (int i = at; i < text.size(); ++i) {
        if (i > at + kLook) return QChar::Script_Unknown;
        if (const auto script = strongScript(text, i)) return script;
    }
    return std::nullopt;
}

// The script of the last strong character before `at` (none when there is none), or Unknown
// when it lies beyond a bounded look.
std::optional<QChar::Script> scriptBefore(const QString& text, int at) {
    for (int i = at - 1; i >= 0; --i) {
        if (i < at - kLook) return QChar::Script_Unknown;
        if (const auto script = strongScript(text, i)) return script;
    }
    return std::nullopt;
}

// Whether the characters from `at` on are given the same scripts when the text is laid out
// from `at` on as in the whole text (so they take the same fonts): their run's script is that
// of the strong character before them in the whole text, and of the first strong one from
// `at` on in the rest alone.
bool scriptsAgreeFrom(const QString& text, int at) {
    const auto ahead = scriptAhead(text, at);
    if (ahead == QChar::Script_Unknown) return false;
    if (strongScript(text, at)) return true;  // a strong character keeps its own script
    const auto before = scriptBefore(text, at);
    return before != QChar::Script_Unknown && (!before || before == ahead);
}

// Whether `grown` (which begins with `old`) allows the same line breaks as `old` before the old
// end, from a bounded stretch before `at` on.
bool keptBreaksHold(const QString& old, const QString& grown, int at) {
    const int from = std::max(0, at - kLook);
    const qsizetype oldEnd = old.size() - from;
    QTextBoundaryFinder before(QTextBoundaryFinder::Line, old.mid(from));
    QTextBoundaryFinder after(QTextBoundaryFinder::Line, grown.mid(from));
    for (;;) {
        const qsizetype was = before.toNextBoundary();
        const qsizetype is = after.toNextBoundary();
        const bool wasIn = was >= 0 && was < oldEnd;
        const bool isIn = is >= 0 && is < oldEnd;
        if (!wasIn || !isIn) return wasIn == isIn;
        if (was != is) return false;
    }
}

// Whether the text from `at` on, laid out alone, may break its lines where the whole text may:
// the line break opportunities after `at` are the same with and without what comes before
// it (Qt's rules look back past a break at times, as in a number such as "3.14"). Compared
// with a bounded stretch before `at`; a space at `at` (spaces end lines) answers no.
bool breaksAgreeFrom(const QString& text, int at) {
    if (at <= 0 || at >= text.size() || text.at(at).isSpace()) return false;
    const int from = std::max(0, at - kLook);
    QTextBoundaryFinder whole(QTextBoundaryFinder::Line, text.mid(from));
    QTextBoundaryFinder alone(QTextBoundaryFinder::Line, text.mid(at));
    whole.setPosition(at - from);
    alone.toStart();
    for (;;) {
        const qsizetype inWhole = whole.toNextBoundary();
        const qsizetype inAlone = alone.toNextBoundary();
        if (inAlone < 0 || inWhole < 0) return inAlone < 0 && inWhole < 0;
        if (inWhole - (at - from) != inAlone) return false;
    }
}

// Whether Qt's itemisation of `text` begins an item at `at` that, with all that follows, is
// itemised alike when the text is laid out from `at` on: at a strong character of another
// script than the strong character before it (Qt starts a new script run), or after a line
// feed (a line separator for the layout: an item of its own), when the scripts agree.
bool startsItem(const QString& text, int at) {
    if (!breaksAgreeFrom(text, at) || !scriptsAgreeFrom(text, at)) return false;
    if (text.at(at - 1) == QLatin1Char('\n')) return true;
    const auto own = strongScript(text, at);
    const auto before = scriptBefore(text, at);
    return own && before && *before != QChar::Script_Unknown && *own != *before;
}

}  // namespace

void WrappedTextLines::growFrom(const AttributedString& text) {
    // Only the end wraps differently, as a rule: the last line takes the new characters, the
    // one before may give up a word that now runs on, and every earlier line ends where it
    // did. So the lines are laid out again from a line start R among the last lines, and the
    // earlier ones kept. That is the whole text's wrapping only when
    // - the kept lines keep their fonts: the old text has a character of a script of its own
    //   (the characters before the first one take its script);
    // - the breaks allowed up to the old end are still allowed with the new characters (Qt's
    //   rules look ahead at times, as within "3.14"), so the kept lines still end where they
    //   did (keptBreaksHold);
    // - the text from R on, alone, may break where the whole text may (breaksAgreeFrom) and
    //   takes the same scripts, and so the same fonts (scriptsAgreeFrom);
    // - the lines are as high as in the whole text. Qt makes a line as high as the highest
    //   font that any item on it (a run of one script, cut at line feeds) uses anywhere in
    //   that item. Where an item begins at R (startsItem) that holds; elsewhere R is taken
    //   from the second-to-last line when the new lines, the line they replace and the line
    //   before it all have one ascent and one descent, and then it holds too.
    // Otherwise the text is laid out whole.
    const QString old = text_.string;
    rightToLeft_ = rightToLeft_ || hasRightToLeft(text.string, static_cast<int>(old.size()));
    if (rightToLeft_) {
        text_ = text;
        lines_.clear();
        changedFromY_ = 0;
        layOutFrom(0, 0);
        return;
    }
    std::size_t keep = lines_.size() - 2;
    bool itemStart = false;
    for (std::size_t k = keep; k >= 1 && k + 5 >= lines_.size(); --k) {
        if (startsItem(text.string, lines_[k].start)) {
            keep = k;
            itemStart = true;
            break;
        }
    }
    const Line restart = lines_[keep];
    const Line before = lines_[keep > 0 ? keep - 1 : 0];
    lines_.resize(keep);
    text_ = text;
    layOutFrom(restart.start, restart.y);
    if (keep == 0) return;  // laid out whole
    auto same = [&](const Line& line) {
        return line.ascent == restart.ascent && line.descent == restart.descent;
    };
    const bool evenHeights =
        itemStart ||
        (same(before) &&
         std::all_of(lines_.begin() + static_cast<std::ptrdiff_t>(keep), lines_.end(), same));
    // Characters of no script of their own at the start take the script of the first strong
    // one, which then must be in the old text already.
    const auto firstScript = scriptAhead(old, 0);
    const bool keptScriptsHold = firstScript && firstScript != QChar::Script_Unknown;
    if (evenHeights && keptScriptsHold && keptBreaksHold(old, text_.string, restart.start) &&
        breaksAgreeFrom(text_.string, restart.start) &&
        scriptsAgreeFrom(text_.string, restart.start)) {
        return;
    }
    const int relaid = lastLaidOut_;
    lines_.clear();
    changedFromY_ = 0;
    layOutFrom(0, 0);
    lastLaidOut_ += relaid;
}

void WrappedTextLines::update(const AttributedString& text, int width) {
    if (laidOut_ && width == width_ && text.font == text_.font) {
        if (text.string == text_.string) {
            text_.colors = text.colors;
            lastLaidOut_ = 0;
            changedFromY_ = height_;
            return;
        }
        if (lines_.size() >= 2 && text.string.startsWith(text_.string)) {
            changedFromY_ = height_;
            growFrom(text);
            return;
        }
    }
    text_ = text;
    width_ = width;
    laidOut_ = true;
    rightToLeft_ = hasRightToLeft(text_.string, 0);
    lines_.clear();
    changedFromY_ = 0;
    layOutFrom(0, 0);
}

void WrappedTextLines::layOutFrom(int from, double y) {
    const double firstY = y;
    if (text_.string.isEmpty()) {
        changedFromY_ = 0;
        height_ = static_cast<int>(std::ceil(QFontMetricsF(text_.font).height()));
        lastLaidOut_ = 0;
        return;
    }
    const QString rest = AttributedString::laidOutString(text_.string.mid(from));
    QTextLayout layout(rest, text_.font);
    useWrapping(layout);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(1.0, static_cast<double>(width_)));
        line.setPosition(QPointF(0, y));
        lines_.push_back(
            {from + line.textStart(), y, line.height(), line.ascent(), line.descent()});
        y += line.height();
    }
    layout.endLayout();
    height_ = static_cast<int>(std::ceil(y));
    lastLaidOut_ = static_cast<int>(rest.size());
    changedFromY_ = std::min(changedFromY_, firstY);
}

std::vector<int> WrappedTextLines::lineStarts() const {
    std::vector<int> starts;
    starts.reserve(lines_.size());
    for (const Line& line : lines_) starts.push_back(line.start);
    return starts;
}

QRectF WrappedTextLines::visibleRect(const QPainter& painter) {
    QRectF visible;
    const QTransform toLogical = painter.deviceTransform().inverted();
    const QPaintEngine* engine = painter.paintEngine();
    if (engine && !engine->systemClip().isEmpty()) {
        // The region the paint event repaints, in device coordinates.
        visible = toLogical.mapRect(QRectF(engine->systemClip().boundingRect()));
    } else if (const QPaintDevice* device = painter.device()) {
        visible = painter.combinedTransform().inverted().mapRect(
            QRectF(0, 0, device->width(), device->height()));
    }
    if (painter.hasClipping()) visible = visible.intersected(painter.clipBoundingRect());
    return visible;
}

void WrappedTextLines::draw(QPainter& painter, const QRectF& rect, const Color& baseColor,
                            const QRectF& visible) const {
    if (text_.string.isEmpty() || lines_.empty()) return;
    const double top = visible.top() - rect.top();
    const double bottom = visible.bottom() - rect.top();
    // The first line that reaches into view and the first one wholly below it.
    auto first = std::partition_point(lines_.begin(), lines_.end(),
                                      [top](const Line& l) { return l.y + l.height <= top; });
    const auto below =
        std::partition_point(first, lines_.end(), [bottom](const Line& l) { return l.y < bottom; });
    if (first == below) return;
    // From a line where a layout of the rest wraps as the whole text does (see growFrom).
    if (rightToLeft_) first = lines_.begin();
    while (first != lines_.begin() && !(breaksAgreeFrom(text_.string, first->start) &&
                                        scriptsAgreeFrom(text_.string, first->start))) {
        --first;
    }
    // One line more than is in view, so the last line in view is wrapped with what follows it.
    const auto end = below == lines_.end() ? below : below + 1;
    const int start = first->start;
    const int stop = end == lines_.end() ? static_cast<int>(text_.string.size()) : end->start;

    QTextLayout layout(AttributedString::laidOutString(text_.string.mid(start, stop - start)),
                       text_.font);
    useWrapping(layout);
    QList<QTextLayout::FormatRange> formats;
    for (const AttributedString::ColorRun& run : text_.colors) {
        const int from = std::max(run.start, start);
        const int to = std::min(run.start + run.length, stop);
        if (from >= to) continue;
        QTextLayout::FormatRange range;
        range.start = from - start;
        range.length = to - from;
        range.format.setForeground(run.color.toQColor());
        formats.append(range);
    }
    layout.setFormats(formats);
    layout.beginLayout();
    // Each line where the kept lines have it.
    double y = first->y;
    auto kept = first;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(1.0, static_cast<double>(width_)));
        if (kept != lines_.end() && kept->start == start + line.textStart()) y = kept->y;
        line.setPosition(QPointF(0, y));
        y += line.height();
        if (kept != lines_.end()) ++kept;
    }
    layout.endLayout();
    painter.save();
    painter.setPen(baseColor.toQColor());
    layout.draw(&painter, rect.topLeft());
    painter.restore();
}

}  // namespace pex
