#pragma once
// Documents and document templates.
//
// A Document holds the data of one window and its file; views show it. Every
// change goes through changed(): all views update and the document is marked
// modified. Files are read and written whole: the subclass turns itself into
// bytes (serialize) and back (deserialize) with Qt-free codecs, and the
// Document does the file handling, the save prompt and the error messages.
#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

class QWidget;

namespace fw {

class ChildFrame;
class DocumentTemplate;

class Document : public QObject {
  Q_OBJECT

 public:
  explicit Document(QObject* parent = nullptr);
  ~Document() override;

  DocumentTemplate* documentTemplate() const { return template_; }

  // Full path of the file; empty while the document has none.
  QString path() const { return path_; }
  // Sets the path and makes the title its file name.
  void setPath(const QString& path);
  // Shown in the frame's caption and in "Save changes to %1?".
  QString title() const { return title_; }
  void setTitle(const QString& title);

  bool isModified() const { return modified_; }
  void setModified(bool modified);

  // The one change notification: views update (with hint) and the document is marked modified.
  void changed(int hint = 0);
  // Views update without marking the document modified.
  void updateAllViews(int hint = 0);

  // Views attach themselves (ScrollView does so); a destroyed view detaches.
  void addView(QWidget* view);
  QList<QWidget*> views() const;
  QWidget* firstView() const;
  // The child frame holding the first view, or nullptr.
  ChildFrame* frame() const;

  // The document's file image. Return false with a message in *error when the
  // document cannot be written (the save fails and the file is not touched).
  virtual bool serialize(std::vector<std::uint8_t>* bytes, QString* error) const = 0;
  // Fills the document from a file image. Return false to refuse the file:
  // a non-empty *error is shown (exclamation icon); leave it empty when the
  // document has already shown its own message.
  virtual bool deserialize(const std::vector<std::uint8_t>& bytes, QString* error) = 0;
  // Called after a successful load once the document's first view and frame
  // exist (apply a stored placement here).
  virtual void afterLoad() {}

  // Reads path and deserializes; on success the path, title and a clean
  // modified flag are set. Errors are shown; returns false.
  bool load(const QString& path);
  // Serializes and writes path atomically (temporary file + rename); on
  // success the path, title and a clean modified flag are set. On failure the
  // message "Cannot save <path>.\n<reason>" is shown and the previous file is intact.
  bool saveTo(const QString& path);
  // Save to the current path, or ask for one (saveAs) when there is none.
  bool save();
  // Asks for a path with the template's filter and extension, then saveTo.
  bool saveAs();
  // When modified: "Save changes to %1?" (Yes/No/Cancel, exclamation icon).
  // Yes saves (save-as for a document without file) and returns the save's
  // result; No returns true; Cancel returns false. Unmodified: true.
  bool maybeSave();

  // Lets the application (or the main window) veto closing. Default: maybeSave().
  virtual bool canClose() { return maybeSave(); }

 signals:
  void updateViews(int hint);
  void modifiedChanged(bool modified);
  void titleChanged(const QString& title);
  // After every successful save (the main window adds the file to the recent-file list).
  void saved(const QString& path);

 private:
  friend class DocumentTemplate;
  DocumentTemplate* template_ = nullptr;
  QString path_;
  QString title_;
  bool modified_ = false;
  QList<QPointer<QWidget>> views_;
};

// What the main window needs to create a document of one kind with its view.
// While one lives, documents register with their engine quietly: an automation
// call that creates a window must answer at once, never wait on a modal box.
// Window thread only.
class QuietRegistration {
 public:
  QuietRegistration();
  ~QuietRegistration();
  QuietRegistration(const QuietRegistration&) = delete;
  QuietRegistration& operator=(const QuietRegistration&) = delete;
  static bool Active();
};

class DocumentTemplate {
 public:
  struct Info {
    QString newFileName;   // "Zelmor": new documents are titled Zelmor1, Zelmor2, ...
    QString filter;        // "Zelmor Files (*.zmd)"
    QString extension;     // ".zmd"
    QString typeName;      // "Zelmor File"
  };
  using DocumentFactory = std::function<Document*()>;
  // Creates the view of a document; the frame becomes its parent.
  using ViewFactory = std::function<QWidget*(Document*)>;

  DocumentTemplate(Info info, DocumentFactory makeDocument, ViewFactory makeView);

  const Info& info() const { return info_; }
  // A new document of this template. untitled: it gets the next default title
  // (Zelmor1, Zelmor2, ...); a document about to be loaded passes false.
  Document* createDocument(bool untitled = true);
  QWidget* createView(Document* document) const { return makeView_(document); }
  // True when the path ends with the template's extension (case-insensitive).
  bool matches(const QString& path) const;
  // The next default title without creating a document.
  QString nextUntitledName() const;

 private:
  Info info_;
  DocumentFactory makeDocument_;
  ViewFactory makeView_;
  int untitledCount_ = 0;
};

}  // namespace fw
