#include "slave/app/recording_reader.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace {

std::atomic<int> g_workers{0};

}  // namespace

// What one read shares between its worker and the window thread. The worker
// fills the result, then posts it to the receiver; the window thread reads it
// only once that post has arrived.
struct RecordingReader::Pending {
  std::mutex lock;                       // guards receiver
  RecordingReader* receiver = nullptr;   // null once abandoned or gone
  std::string path;
  std::shared_ptr<recording::Recording> loaded = std::make_shared<recording::Recording>();
  std::string error;
  bool ok = false;
};

RecordingReader::~RecordingReader() { abandon(); }

int RecordingReader::workersRunning() { return g_workers.load(); }

void RecordingReader::begin(const QString& path) {
  abandon();
  auto pending = std::make_shared<Pending>();
  pending->receiver = this;
  pending->path = path.toStdString();
  pending_ = pending;
  ++g_workers;
  std::thread([pending] {
    pending->ok = recording::LoadRecording(pending->path, pending->loaded.get(), &pending->error);
    {
      // Held while posting so that the receiver cannot be destroyed in between:
      // its destructor takes this lock to clear the pointer. A post to a
      // receiver destroyed later is dropped with it by Qt.
      std::lock_guard<std::mutex> hold(pending->lock);
      if (pending->receiver != nullptr)
        QMetaObject::invokeMethod(
            pending->receiver, [receiver = pending->receiver, pending] { receiver->arrived(pending); },
            Qt::QueuedConnection);
    }
    --g_workers;
  }).detach();
}

void RecordingReader::abandon() {
  if (!pending_) return;
  {
    std::lock_guard<std::mutex> hold(pending_->lock);
    pending_->receiver = nullptr;
  }
  pending_.reset();
}

void RecordingReader::arrived(const std::shared_ptr<Pending>& pending) {
  if (pending != pending_) return;  // abandoned after it was posted
  pending_.reset();
  emit finished(pending->ok, pending->ok ? std::move(pending->loaded) : nullptr, QString::fromStdString(pending->error));
}
