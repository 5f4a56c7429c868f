#include "widgets/form.h"

#include "widgets/grid.h"
#include "widgets/twips.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QToolButton>
#include <QValidator>
#include <QWidget>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace form {

namespace {
// Room for a frame the window manager has not drawn yet (before the first show).
constexpr int kAssumedFrameWidth = 12;
constexpr int kAssumedFrameHeight = 40;

const QString kSong = u"宋体"_s;
constexpr int kSongPoints = 9;

class DesignedKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* e) override
    {
        if (e->type() != QEvent::KeyPress)
            return false;
        const auto* k = static_cast<QKeyEvent*>(e);
        const Qt::KeyboardModifiers mods = k->modifiers() & ~Qt::KeypadModifier;
        if (mods != Qt::NoModifier)
            return false;
        if (k->key() == Qt::Key_Escape)
            return true; // a dialog would reject itself
        if (k->key() != Qt::Key_Return && k->key() != Qt::Key_Enter)
            return false;
        // The key reaches the window when the focused control left it unused.
        auto* window = qobject_cast<QWidget*>(watched);
        QWidget* focus = window ? window->focusWidget() : nullptr;
        if (qobject_cast<QPushButton*>(focus) || qobject_cast<QToolButton*>(focus)) {
            auto* b = static_cast<QAbstractButton*>(focus);
            if (b->isEnabled() && b->isVisible())
                b->click();
        }
        return true;
    }
};
// Knows the text the box showed before each edit, so it can tell a text that grew past
// the limit from one that the program set long.
class TypingLimit : public QValidator {
public:
    TypingLimit(QLineEdit* box, int limit) : QValidator(box), m_limit(limit), m_shown(box->text())
    {
        connect(box, &QLineEdit::textChanged, this, [this](const QString& t) { m_shown = t; });
    }
    void expect(const QString& text) const { m_shown = text; }

    State validate(QString& input, int& pos) const override
    {
        const qsizetype allowed = std::max<qsizetype>(m_limit, m_shown.size());
        if (input.size() > allowed) {
            // Keep what fits of the characters just put in before the cursor.
            const qsizetype excess = input.size() - allowed;
            qsizetype from = std::clamp<qsizetype>(pos - excess, 0, allowed);
            qsizetype end = from + excess;
            // A character of two units goes whole: half of it could never be stored.
            if (from > 0 && input[from - 1].isHighSurrogate() && input[from].isLowSurrogate())
                --from;
            if (end < input.size() && input[end - 1].isHighSurrogate() &&
                input[end].isLowSurrogate())
                ++end;
            input.remove(from, end - from);
            pos = int(from);
        }
        return Acceptable;
    }

private:
    int m_limit;
    mutable QString m_shown; // what the box shows, kept beside it
};

// What a control of each kind makes of its caption, and the program's settings for it.
void setUp(QWidget* w, const QString& caption) // boxes and grids
{
    w->setAccessibleName(caption);
}
void setUp(QLabel* l, const QString& caption)
{
    l->setText(caption);
}
void setUp(QAbstractButton* b, const QString& caption)
{
    b->setText(caption);
    b->setAccessibleName(caption);
    if (auto* push = qobject_cast<QPushButton*>(b))
        push->setAutoDefault(false);
}
void setUp(QGroupBox* g, const QString& caption)
{
    g->setTitle(caption);
    g->setAccessibleName(caption);
}
void setUp(QPlainTextEdit* e, const QString& caption)
{
    e->setAccessibleName(caption);
    e->setTabChangesFocus(true);
}
void setUp(QComboBox* c, const QString& caption)
{
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->setCompleter(nullptr); // typed keys give exactly the typed text
    // On Linux a combo box is named by its text; its edit carries the name for good.
    c->setAccessibleName(caption);
    c->lineEdit()->setAccessibleName(caption);
}

template <class W> W* make(W** member, QWidget* parent, const QString& caption)
{
    *member = new W(parent);
    setUp(*member, caption);
    return *member;
}
} // namespace

void build(QWidget* parent, std::initializer_list<Control> controls, QPoint offset)
{
    for (const Control& c : controls) {
        const QRect r = twips::rect(c.left, c.top, c.width, c.height).translated(offset);
        QLabel* plain = nullptr; // a label that no member holds
        QWidget* made = std::visit(
            [&](auto member) -> QWidget* {
                if constexpr (std::is_same_v<decltype(member), PlainLabel>)
                    return make(&plain, parent, c.caption);
                else
                    return make(member, parent, c.caption);
            },
            c.member);
        made->setObjectName(QString::fromLatin1(c.name));
        made->setGeometry(r);
        if (c.labelLeft != kNoLabel) {
            auto* l = new QLabel(c.caption, parent);
            l->setObjectName(u"Label_"_s + made->objectName());
            l->setGeometry(QRect(twips::toPx(c.labelLeft) + offset.x(), r.y(),
                                 twips::toPx(c.left - c.labelLeft - 60), r.height()));
            l->setBuddy(made);
        }
    }
}

void limitTyping(QLineEdit* box, int limit)
{
    box->setValidator(new TypingLimit(box, limit));
}

void setText(QLineEdit* box, const QString& text)
{
    if (const auto* limit = dynamic_cast<const TypingLimit*>(box->validator()))
        limit->expect(text);
    box->setText(text);
}

void centre(QWidget* w)
{
    const QScreen* s = w->screen() ? w->screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QRect free = s->availableGeometry();
    QSize frame = w->frameGeometry().size() - w->size();
    if (!w->testAttribute(Qt::WA_WState_Created) || frame.isEmpty())
        frame = QSize(kAssumedFrameWidth, kAssumedFrameHeight);
    const QSize fits(std::min(w->width(), free.width() - frame.width()),
                     std::min(w->height(), free.height() - frame.height()));
    if (fits != w->size())
        w->resize(fits.expandedTo(w->minimumSize()));
    QRect r(w->pos(), w->size() + frame);
    r.moveCenter(free.center());
    w->move(r.topLeft());
}

QFont songFont()
{
    QFont f(kSong);
    f.setPointSize(kSongPoints);
    return f;
}

void useSongFont()
{
    QFont::insertSubstitutions(kSong, {u"SimSun"_s, u"Noto Serif CJK SC"_s});
    QApplication::setFont(songFont());
}

void useDesignedKeys(QWidget* window)
{
    window->installEventFilter(new DesignedKeys(window));
}

} // namespace form
