#pragma once
// The order editor: which pattern each order plays and how many orders the song has (1-64).
// The current order is also the one the pattern editor edits and "play song" starts from.

#include "app/EditorContext.h"

class OrderEditor {
  public:
    explicit OrderEditor(EditorContext& context);

    void registerHandlers(ActionTable& table);

    // The editor's bindings first, then note keys (previewed and taken).
    bool orderEditorKey(const KeyEvent& event);

    // Current order + delta, kept within the song. Single steps and the jumps to either end are
    // refused while the cursor follows playback; the four-order steps are not.
    void moveBy(int delta, bool blockable);
    void moveTo(bool end);
    // Duplicates the current entry after it (nothing at 64 orders); the cursor stays.
    void addOrder();
    void changePattern(int delta);  // 0-63
    // Removes the current entry (never the only one).
    void deleteOrder();
    // Removes the entry before the cursor; the cursor follows its pattern up one place.
    void deletePrecedingOrder();

  private:
    int& current();  // the current order, brought within the song
    void keepPlayerInSong();  // the playing order, brought within the song (under the audio lock)

    EditorContext& ctx_;
};
