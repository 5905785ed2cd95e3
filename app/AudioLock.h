#pragma once
// Every main-thread change of data the audio callback reads (song, instruments, player position,
// speed, tempo) happens while this lock is held, so the callback never sees a change half done.
// The program's lock is the sound device's own; tests use NullAudioLock or count calls.

class AudioLock {
  public:
    virtual ~AudioLock() = default;
    virtual void lock() = 0;
    virtual void unlock() = 0;
    // Stops (true) or resumes (false) the sound device's callback altogether, for work that
    // borrows the player for longer than a callback period (the NSF export). Only the real
    // device pauses; the default does nothing.
    virtual void pauseDevice(bool /*paused*/) {}
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

// Pauses the device for the lifetime of the guard, then resumes it.
class AudioPauseGuard {
  public:
    explicit AudioPauseGuard(AudioLock& lock) : lock_(lock) { lock_.pauseDevice(true); }
    ~AudioPauseGuard() { lock_.pauseDevice(false); }
    AudioPauseGuard(const AudioPauseGuard&) = delete;
    AudioPauseGuard& operator=(const AudioPauseGuard&) = delete;

  private:
    AudioLock& lock_;
};
