#include "framework/document.h"

#include <QFileInfo>
#include <QWidget>

#include "common/archive.h"
#include "framework/file_dialog.h"
#include "framework/mdi.h"
#include "framework/message_box.h"

namespace fw {

Document::Document(QObject* parent) : QObject(parent) {}

Document::~Document() = default;

void Document::setPath(const QString& path) {
  path_ = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
  if (!path_.isEmpty()) setTitle(QFileInfo(path_).fileName());
}

void Document::setTitle(const QString& title) {
  if (title == title_) return;
  title_ = title;
  emit titleChanged(title_);
}

void Document::setModified(bool modified) {
  if (modified == modified_) return;
  modified_ = modified;
  emit modifiedChanged(modified_);
}

void Document::changed(int hint) {
  setModified(true);
  updateAllViews(hint);
}

void Document::updateAllViews(int hint) { emit updateViews(hint); }

void Document::addView(QWidget* view) {
  if (view == nullptr || views_.contains(view)) return;
  views_.append(view);
}

QList<QWidget*> Document::views() const {
  QList<QWidget*> result;
  for (const QPointer<QWidget>& view : views_) {
    if (view) result.append(view.data());
  }
  return result;
}

QWidget* Document::firstView() const {
  for (const QPointer<QWidget>& view : views_) {
    if (view) return view.data();
  }
  return nullptr;
}

ChildFrame* Document::frame() const {
  for (QWidget* widget = firstView(); widget != nullptr; widget = widget->parentWidget()) {
    if (auto* frame = qobject_cast<ChildFrame*>(widget)) return frame;
  }
  return nullptr;
}

bool Document::load(const QString& path) {
  std::vector<std::uint8_t> bytes;
  std::string reason;
  if (!archive::ReadFile(path.toStdString(), &bytes, &reason)) {
    ShowMessage(QStringLiteral("Cannot open %1.\n%2").arg(path, QString::fromStdString(reason)),
                MsgIcon::Exclamation);
    return false;
  }
  QString error;
  if (!deserialize(bytes, &error)) {
    if (!error.isEmpty()) ShowMessage(error, MsgIcon::Exclamation);
    return false;
  }
  setPath(path);
  setModified(false);
  return true;
}

bool Document::saveTo(const QString& path) {
  std::vector<std::uint8_t> bytes;
  QString error;
  if (!serialize(&bytes, &error)) {
    ShowMessage(QStringLiteral("Cannot save %1.\n%2").arg(path, error), MsgIcon::Exclamation);
    return false;
  }
  std::string reason;
  if (!archive::WriteFileAtomically(path.toStdString(), bytes, &reason)) {
    ShowMessage(QStringLiteral("Cannot save %1.\n%2").arg(path, QString::fromStdString(reason)),
                MsgIcon::Exclamation);
    return false;
  }
  setPath(path);
  setModified(false);
  emit saved(path_);
  return true;
}

bool Document::save() { return path_.isEmpty() ? saveAs() : saveTo(path_); }

bool Document::saveAs() {
  FileDialogRequest request;
  request.save = true;
  if (template_ != nullptr) {
    request.filter = template_->info().filter;
    request.defaultExtension = template_->info().extension;
  }
  // Propose the current file, or the title for a document that has none.
  request.initialName = !path_.isEmpty() ? path_ : title_;
  QWidget* parent = firstView() != nullptr ? firstView()->window() : nullptr;
  QString chosen = ChooseFile(parent, request);
  if (chosen.isEmpty()) return false;
  return saveTo(chosen);
}

bool Document::maybeSave() {
  if (!modified_) return true;
  QWidget* parent = firstView() != nullptr ? firstView()->window() : nullptr;
  MsgResult answer = ShowMessage(QStringLiteral("Save changes to %1?").arg(title_),
                                 MsgIcon::Exclamation, MsgButtons::YesNoCancel, parent);
  switch (answer) {
    case MsgResult::Yes:
      return save();
    case MsgResult::No:
      return true;
    default:
      return false;
  }
}

DocumentTemplate::DocumentTemplate(Info info, DocumentFactory makeDocument, ViewFactory makeView)
    : info_(std::move(info)), makeDocument_(std::move(makeDocument)), makeView_(std::move(makeView)) {}

Document* DocumentTemplate::createDocument(bool untitled) {
  Document* document = makeDocument_();
  if (document == nullptr) return nullptr;
  document->template_ = this;
  if (untitled) {
    document->setTitle(nextUntitledName());
    ++untitledCount_;
  }
  return document;
}

QString DocumentTemplate::nextUntitledName() const {
  return info_.newFileName + QString::number(untitledCount_ + 1);
}

bool DocumentTemplate::matches(const QString& path) const {
  return !info_.extension.isEmpty() && path.endsWith(info_.extension, Qt::CaseInsensitive);
}

namespace {
int quietRegistrations = 0;  // live QuietRegistration objects
}  // namespace

QuietRegistration::QuietRegistration() { ++quietRegistrations; }
QuietRegistration::~QuietRegistration() { --quietRegistrations; }
bool QuietRegistration::Active() { return quietRegistrations > 0; }

}  // namespace fw
