#pragma once
// Every main-thread change of data the audio callback reads (song, instruments, player position,
// speed, tempo) happens while this lock is held, so the callback never sees a change half done.
// The program's lock is the sound device's own; tests use NullAudioLock or count calls.

class AudioLock {
  public:
    virtual ~AudioLock() = default;
    virtual void lock() = 0;
    virtual void unlock() = 0;
};

class NullAudioLock : public AudioLock {
  public:
    void lock() override {}
    void unlock() override {}
};

// Holds the lock for the lifetime of the guard.
class AudioLockGuard {
  public:
    explicit AudioLockGuard(AudioLock& lock) : lock_(lock) { lock_.lock(); }
    ~AudioLockGuard() { lock_.unlock(); }
    AudioLockGuard(const AudioLockGuard&) = delete;
    AudioLockGuard& operator=(const AudioLockGuard&) = delete;

  private:
    AudioLock& lock_;
};
