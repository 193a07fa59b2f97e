// The in-place text box of the configuration grid: one object for the whole
// program, whose box exists only while a cell is being edited. It filters
// typed characters by the column's set, limits the text in GBK bytes, keeps
// the text within the column's rule (a text the rule refuses is never made:
// by typing, an input method, a paste, a deletion or an undo), and
// writes its text back into the cell when it loses the focus (Enter keeps
// the text, Escape restores the cell's text).
//
// Every way out of an edit ends in one place, which writes the text back
// once: Enter, Escape, a click elsewhere, a scroll, anything taking the
// focus, DestroyWindow() and ReleaseInstance().
//
// Thread-safety: UI thread only.
#pragma once

#include <QLineEdit>
#include <QPointer>
#include <QString>
#include <functional>

namespace tabrelium {

class CEditGridCtrl;
class CInPlaceEditBox;

class CInPlaceEdit {
 public:
  // The shared object, created on first use.
  static CInPlaceEdit* Instance();
  // Ends an open edit (writing it back), then deletes the shared object.
  static void ReleaseInstance();

  CInPlaceEdit(const CInPlaceEdit&) = delete;
  CInPlaceEdit& operator=(const CInPlaceEdit&) = delete;

  // Targets the cell and opens the box over `rect` (grid viewport
  // coordinates) with `text` wholly selected. A box still open on the same
  // cell is kept as it is; one open on another cell is first ended with its
  // write-back. False when no box could be made.
  bool BeginEdit(const QRect& rect, CEditGridCtrl* parent, int row, int column,
                 const QString& allowedChars, const QString& text);
  // Most GBK bytes the box takes; 0 for no limit. Does not cut the text already in it.
  void SetLimitBytes(int bytes);
  // The texts the box may hold (empty: any); a change that would make
  // another is refused with a beep. The text already in it is not judged.
  using TextRule = std::function<bool(const QString&)>;
  void SetTextRule(TextRule rule);

  // The open box, or null.
  QLineEdit* Window() const;
  bool HasWindow() const { return Window() != nullptr; }
  // Ends an open edit, writing its text back, and removes the box.
  void DestroyWindow();

  int Row() const { return m_row; }
  int Column() const { return m_column; }
  // The grid of the open box, or null.
  CEditGridCtrl* Grid() const;
  int LimitBytes() const { return m_limitBytes; }

 private:
  friend class CInPlaceEditBox;

  CInPlaceEdit() = default;
  // The one end of every edit; does nothing once the box is closed, so the
  // focus-out that closing itself sends writes nothing twice.
  void EndEdit();
  // The live object whose open box is `box`; null for a box already closed.
  static CInPlaceEdit* OwnerOf(const QLineEdit* box);

  static inline CInPlaceEdit* s_instance = nullptr;

  int m_row = -1;
  int m_column = -1;
  bool m_cancelled = false;
  QString m_allowedChars;
  QString m_startText;
  int m_limitBytes = 0;
  TextRule m_textRule;
  QPointer<QLineEdit> m_box;
  QPointer<CEditGridCtrl> m_grid;
};

}  // namespace tabrelium
