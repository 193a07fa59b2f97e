// What the main dialog asks of the desktop: a data file chosen by the user,
// and a message box shown to the user. The window uses Qt's file dialog and
// message boxes; tests put scripted ones in their place.
//
// Thread-safety: UI thread only.
#pragma once

#include <QString>

class QWidget;

namespace tabrelium {

class CFileChooser {
 public:
  virtual ~CFileChooser() = default;
  // The chosen file's full path, or empty when the user cancelled.
  // `folder` is where the dialog opens (the last file's folder).
  virtual QString ChooseDataFile(QWidget* owner, const QString& folder) = 0;
};

enum class MessageIcon { kNone, kWarning, kStop };

class CMessageSink {
 public:
  virtual ~CMessageSink() = default;
  // A message box with an OK button, owned by `owner`; returns once the
  // user has closed it. An empty caption means the application's name.
  virtual void ShowMessage(QWidget* owner, const QString& text, const QString& caption,
                           MessageIcon icon) = 0;
};

// The desktop's own file dialog and message boxes.
class CQtFileChooser final : public CFileChooser {
 public:
  QString ChooseDataFile(QWidget* owner, const QString& folder) override;
};

class CQtMessageSink final : public CMessageSink {
 public:
  void ShowMessage(QWidget* owner, const QString& text, const QString& caption,
                   MessageIcon icon) override;
};

}  // namespace tabrelium
