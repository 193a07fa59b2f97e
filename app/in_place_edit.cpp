#include "app/in_place_edit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <algorithm>
#include <utility>

#include "common/gbk_utf8.h"
#include "app/edit_grid_ctrl.h"

namespace tabrelium {
namespace {

// Bytes of `text` as the device stores it; a character without a GBK form
// becomes one '?'.
int GbkBytes(const QString& text) {
  return static_cast<int>(Utf8ToGbk(text.toStdString()).size());
}

// The longest head of `text` within `room` GBK bytes; a character goes in
// whole or not at all.
QString HeadWithinBytes(const QString& text, int room) {
  qsizetype end = 0;
  int used = 0;
  while (end < text.size()) {
    const bool pair = text[end].isHighSurrogate() && end + 1 < text.size() &&
                      text[end + 1].isLowSurrogate();
    const qsizetype len = pair ? 2 : 1;
    const int bytes = GbkBytes(text.mid(end, len));
    if (used + bytes > room) break;
    used += bytes;
    end += len;
  }
  return text.left(end);
}

// A key that types text, as Qt's line edit decides it: Ctrl and Ctrl+Shift
// are commands (Ctrl+C, Ctrl+A ...), Ctrl+Alt is AltGr and types.
bool TypesText(const QKeyEvent* event) {
  const QString text = event->text();
  if (text.isEmpty()) return false;
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  if (mods == Qt::ControlModifier || mods == (Qt::ControlModifier | Qt::ShiftModifier)) {
    return false;
  }
  const QChar first = text.front();
  return first.isPrint() || first.isHighSurrogate() ||
         first.category() == QChar::Other_PrivateUse;
}

// One pasted line: a cell holds no line break.
QString FirstLine(QString text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == u'\r' || text[i] == u'\n') {
      text.truncate(i);
      break;
    }
  }
  return text;
}

}  // namespace

// The box itself. It acts only while it is its owner's open box; once closed
// (hidden, waiting for deletion) every event finds no owner and does nothing.
class CInPlaceEditBox final : public QLineEdit {
 public:
  explicit CInPlaceEditBox(QWidget* parent) : QLineEdit(parent) {
    setFrame(false);
    setAlignment(Qt::AlignCenter);
    setAcceptDrops(false);  // a drop would go past the byte limit
  }

 protected:
  bool event(QEvent* event) override {
    // Enter and Escape end the edit; no shortcut of the window may take them first.
    if (event->type() == QEvent::ShortcutOverride) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape) {
        event->accept();
        return true;
      }
    }
    return QLineEdit::event(event);
  }

  void keyPressEvent(QKeyEvent* event) override {
    // No key travels on to the grid or the dialog: Enter would press the
    // dialog's default button, Escape close it, arrows move the grid's row.
    event->accept();
    CInPlaceEdit* owner = CInPlaceEdit::OwnerOf(this);
    if (!owner) return;
    switch (event->key()) {
      case Qt::Key_Escape:
        owner->m_cancelled = true;
        [[fallthrough]];
      case Qt::Key_Return:
      case Qt::Key_Enter:
        owner->EndEdit();
        return;
      default:
        break;
    }
    if (event->matches(QKeySequence::Paste)) {
      PasteWithinLimit(*owner, QClipboard::Clipboard);
      return;
    }
    if (TypesText(event) && !Admits(*owner, event->text())) {
      QApplication::beep();
      return;
    }
    // A deletion or an undo may make a text the rule refuses ("a/x/" less
    // the x): it is taken back.
    const QString before = text();
    const int cursor = cursorPosition();
    QLineEdit::keyPressEvent(event);
    event->accept();
    if (RuleGuards(*owner, before) && text() != before && !owner->m_textRule(text())) {
      setText(before);
      setCursorPosition(cursor);
      QApplication::beep();
    }
  }

  // Text committed by an input method is typed text too: the set and the
  // limit apply to each character.
  void inputMethodEvent(QInputMethodEvent* event) override {
    CInPlaceEdit* owner = CInPlaceEdit::OwnerOf(this);
    const QString commit = event->commitString();
    if (!owner || commit.isEmpty()) {
      QLineEdit::inputMethodEvent(event);
      return;
    }
    QString kept;
    for (QChar c : commit) {
      if (owner->m_allowedChars.isEmpty() || owner->m_allowedChars.contains(c)) kept += c;
    }
    if (owner->m_limitBytes > 0) kept = HeadWithinBytes(kept, owner->m_limitBytes - KeptBytes());
    kept = WithinRule(*owner, kept);
    if (kept == commit) {
      QLineEdit::inputMethodEvent(event);
      return;
    }
    QApplication::beep();
    QInputMethodEvent trimmed(event->preeditString(), event->attributes());
    trimmed.setCommitString(kept, event->replacementStart(), event->replacementLength());
    QLineEdit::inputMethodEvent(&trimmed);
  }

  // Qt's own middle-button and menu pastes would go past the byte limit.
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::MiddleButton && QApplication::clipboard()->supportsSelection()) {
      event->accept();
      if (CInPlaceEdit* owner = CInPlaceEdit::OwnerOf(this)) {
        deselect();
        PasteWithinLimit(*owner, QClipboard::Selection);
      }
      return;
    }
    QLineEdit::mouseReleaseEvent(event);
  }

  void contextMenuEvent(QContextMenuEvent* event) override {
    QPointer<QMenu> menu = createStandardContextMenu();
    const QString pasteText = QCoreApplication::translate("QLineEdit", "&Paste");
    for (QAction* action : menu->actions()) {
      if (action->text().section(u'\t', 0, 0) != pasteText) continue;
      QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
      QObject::connect(action, &QAction::triggered, this, [this] {
        if (CInPlaceEdit* owner = CInPlaceEdit::OwnerOf(this)) {
          PasteWithinLimit(*owner, QClipboard::Clipboard);
        }
      });
    }
    // The box may be gone when the menu returns (the edit ended meanwhile):
    // nothing of it is touched afterwards.
    menu->exec(event->globalPos());
    delete menu;
  }

  void focusOutEvent(QFocusEvent* event) override {
    QLineEdit::focusOutEvent(event);
    // The box's own context menu borrows the focus and gives it back; so does
    // another window (another program, a message box): the window's focus
    // comes back to the box, and a read-back still gets its text.
    if (event->reason() == Qt::PopupFocusReason || event->reason() == Qt::ActiveWindowFocusReason) {
      return;
    }
    if (CInPlaceEdit* owner = CInPlaceEdit::OwnerOf(this)) owner->EndEdit();
  }

 private:
  // GBK bytes of the text that stays when the selection is replaced.
  int KeptBytes() const {
    QString kept = text();
    if (hasSelectedText()) kept.remove(selectionStart(), selectionLength());
    return GbkBytes(kept);
  }

  // The text after `inserted` replaces the selection, or goes in at the cursor.
  QString TextWith(const QString& inserted) const {
    QString result = text();
    if (hasSelectedText())
      result.replace(selectionStart(), selectionLength(), inserted);
    else
      result.insert(cursorPosition(), inserted);
    return result;
  }

  // The characters of `inserted`, in order, that keep the text within the
  // rule, each judged with those kept before it.
  QString WithinRule(const CInPlaceEdit& owner, const QString& inserted) const {
    if (!RuleGuards(owner, text()) || owner.m_textRule(TextWith(inserted))) return inserted;
    QString kept;
    for (qsizetype i = 0; i < inserted.size();) {
      const bool pair = inserted[i].isHighSurrogate() && i + 1 < inserted.size() &&
                        inserted[i + 1].isLowSurrogate();
      const QString character = inserted.mid(i, pair ? 2 : 1);
      if (owner.m_textRule(TextWith(kept + character))) kept += character;
      i += character.size();
    }
    return kept;
  }

  bool Admits(const CInPlaceEdit& owner, const QString& typed) const {
    if (!owner.m_allowedChars.isEmpty()) {
      for (QChar c : typed) {
        if (!owner.m_allowedChars.contains(c)) return false;
      }
    }
    if (owner.m_limitBytes > 0 && KeptBytes() + GbkBytes(typed) > owner.m_limitBytes) return false;
    return !RuleGuards(owner, text()) || owner.m_textRule(TextWith(typed));
  }

  // The rule keeps a text within it; a text the box was opened with that
  // is already outside it (set by a program) may be mended freely.
  static bool RuleGuards(const CInPlaceEdit& owner, const QString& current) {
    return owner.m_textRule && owner.m_textRule(current);
  }

  // A paste is not held to the column's characters, only to the limit: what
  // fits goes in, whole characters only; a beep says something was left out.
  void PasteWithinLimit(const CInPlaceEdit& owner, QClipboard::Mode mode) {
    const QString clip = FirstLine(QApplication::clipboard()->text(mode));
    if (clip.isEmpty()) return;
    QString head =
        owner.m_limitBytes > 0 ? HeadWithinBytes(clip, owner.m_limitBytes - KeptBytes()) : clip;
    head = WithinRule(owner, head);
    if (head.size() < clip.size()) QApplication::beep();
    if (!head.isEmpty()) insert(head);
  }
};

CInPlaceEdit* CInPlaceEdit::Instance() {
  if (!s_instance) s_instance = new CInPlaceEdit;
  return s_instance;
}

void CInPlaceEdit::ReleaseInstance() {
  CInPlaceEdit* instance = std::exchange(s_instance, nullptr);
  if (!instance) return;
  instance->EndEdit();
  delete instance;
}

bool CInPlaceEdit::BeginEdit(const QRect& rect, CEditGridCtrl* parent, int row, int column,
                             const QString& allowedChars, const QString& text) {
  if (!parent) return false;
  // A box left open on another cell must not take this cell's place: its
  // text belongs to its own cell.
  if (m_box && (m_grid != parent || m_row != row || m_column != column)) EndEdit();
  m_row = row;
  m_column = column;
  m_allowedChars = allowedChars;
  m_cancelled = false;
  if (m_box) return true;

  m_startText = text;
  m_grid = parent;
  m_limitBytes = 0;
  m_textRule = nullptr;
  auto* box = new CInPlaceEditBox(parent->viewport());
  box->setFont(parent->font());
  box->setGeometry(rect);
  box->setText(text);
  m_box = box;
  box->show();
  box->selectAll();
  box->setFocus(Qt::OtherFocusReason);
  return true;
}

void CInPlaceEdit::SetLimitBytes(int bytes) { m_limitBytes = std::max(0, bytes); }

void CInPlaceEdit::SetTextRule(TextRule rule) { m_textRule = std::move(rule); }

QLineEdit* CInPlaceEdit::Window() const { return m_box.data(); }

CEditGridCtrl* CInPlaceEdit::Grid() const { return m_box ? m_grid.data() : nullptr; }

void CInPlaceEdit::DestroyWindow() { EndEdit(); }

void CInPlaceEdit::EndEdit() {
  if (!m_box) return;
  // Cleared first: the focus-out that hiding the box sends must find no box.
  QLineEdit* box = m_box;
  m_box = nullptr;
  const QString text = m_cancelled ? m_startText : box->text();
  CEditGridCtrl* grid = m_grid;
  // The focus goes back to the grid, not to whatever follows the box in the
  // tab order once it is hidden.
  if (grid && box->window()->focusWidget() == box) grid->setFocus(Qt::OtherFocusReason);
  if (grid) grid->OnEndLabelEdit(m_row, m_column, text);
  box->hide();
  box->deleteLater();
}

CInPlaceEdit* CInPlaceEdit::OwnerOf(const QLineEdit* box) {
  return (s_instance && s_instance->m_box == box) ? s_instance : nullptr;
}

}  // namespace tabrelium
