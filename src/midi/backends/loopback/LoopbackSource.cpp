#include "LoopbackSource.h"

#include "backends/common/InputDelivery.h"

class LoopbackSource::Input final : public InputConnection {
 public:
  Input(LoopbackSource& source, InputDelivery& delivery) : source_(source), delivery_(delivery) {}
  ~Input() override { source_.Detach(*this); }
  InputDelivery& Delivery() const { return delivery_; }

 private:
  LoopbackSource& source_;
  InputDelivery& delivery_;
};

class LoopbackSource::Output final : public OutputConnection {
 public:
  Output(LoopbackSource& source, const LongMessageDone& done) : source_(source), done_(done) {}
  ~Output() override { Flush(); }

  MMRESULT SendShort(const uint8_t* bytes, size_t count) override {
    Item item;
    for (size_t i = 0; i < count && i < sizeof item.bytes; ++i) item.bytes[i] = bytes[i];
    item.count = static_cast<uint8_t>(count);
    item.from = this;
    source_.Enqueue(item);
    return MMSYSERR_NOERROR;
  }

  MMRESULT SendLong(MIDIHDR* hdr) override {
    Item item;
    item.hdr = hdr;
    item.from = this;
    source_.Enqueue(item);
    return MMSYSERR_NOERROR;
  }

  void Flush() override { source_.WaitUntilDelivered(*this); }

  const LongMessageDone& Done() const { return done_; }
  size_t pending = 0;  // queued or being delivered; guarded by the source's mutex

 private:
  LoopbackSource& source_;
  const LongMessageDone done_;
};

LoopbackSource::LoopbackSource() : worker_([this] { Run(); }) {}

LoopbackSource::~LoopbackSource() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
  worker_.join();
}

MMRESULT LoopbackSource::OpenInput(const std::string& name, InputDelivery& delivery,
                                   std::unique_ptr<InputConnection>* connection) {
  if (name != kName) return MIDIERR_NODEVICE;
  std::lock_guard lock(mutex_);
  if (input_ != nullptr) return MMSYSERR_ALLOCATED;
  input_ = &delivery;
  *connection = std::make_unique<Input>(*this, delivery);
  return MMSYSERR_NOERROR;
}

MMRESULT LoopbackSource::OpenOutput(const std::string& name, const LongMessageDone& done,
                                    std::unique_ptr<OutputConnection>* connection) {
  if (name != kName) return MIDIERR_NODEVICE;
  *connection = std::make_unique<Output>(*this, done);
  return MMSYSERR_NOERROR;
}

void LoopbackSource::Enqueue(const Item& item) {
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(item);
    ++item.from->pending;
  }
  wake_.notify_one();
}

void LoopbackSource::WaitUntilDelivered(const Output& output) {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [&] { return output.pending == 0; });
}

void LoopbackSource::Detach(const Input& input) {
  std::unique_lock lock(mutex_);
  if (input_ == &input.Delivery()) input_ = nullptr;
  idle_.wait(lock, [&] { return !delivering_; });
}

void LoopbackSource::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return quit_ || !queue_.empty(); });
    if (queue_.empty()) return;  // quit, with nothing left to deliver
    const Item item = queue_.front();
    queue_.pop_front();
    InputDelivery* input = input_;
    delivering_ = true;
    lock.unlock();

    if (input != nullptr) {
      if (item.hdr != nullptr) {
        input->Receive(item.hdr->lpData, item.hdr->dwBufferLength);
      } else {
        input->Receive(item.bytes, item.count);
      }
    }
    if (item.hdr != nullptr) item.from->Done()(item.hdr);

    lock.lock();
    delivering_ = false;
    --item.from->pending;
    idle_.notify_all();
  }
}
