#include "app/OrderEditor.h"

OrderEditor::OrderEditor(EditorContext& context) : ctx_(context) {}

void OrderEditor::registerHandlers(ActionTable& table) {
    auto& h = table.handlers;
    h["move up"] = [this] { moveBy(-1, true); };
    h["move down"] = [this] { moveBy(1, true); };
    h["add order"] = [this] { addOrder(); };
    h["decr pattern #"] = [this] { changePattern(-1); };
    h["incr pattern #"] = [this] { changePattern(1); };
    h["move up 4 orders"] = [this] { moveBy(-4, false); };
    h["move down 4 orders"] = [this] { moveBy(4, false); };
    h["move to beginning"] = [this] { moveTo(false); };
    h["move to end"] = [this] { moveTo(true); };
    h["delete order"] = [this] { deleteOrder(); };
    h["delete preceding order"] = [this] { deletePrecedingOrder(); };
}

bool OrderEditor::orderEditorKey(const KeyEvent& event) {
    if (EditorContext::runBinding(ctx_.bindings.orderEditor, event)) return true;
    return ctx_.previewNoteKey(event);
}

int& OrderEditor::current() {
    ctx_.edit.currentOrder = ctx_.currentOrderIndex();
    return ctx_.edit.currentOrder;
}

void OrderEditor::moveBy(int delta, bool blockable) {
    if (blockable && ctx_.followingPlayback()) return;
    const int count = std::clamp<int>(ctx_.song.orders.count, 1, MAX_ORDERS);
    int& order = current();
    order = std::clamp(order + delta, 0, count - 1);
}

void OrderEditor::moveTo(bool end) {
    if (ctx_.followingPlayback()) return;
    current() = end ? std::clamp<int>(ctx_.song.orders.count, 1, MAX_ORDERS) - 1 : 0;
}

void OrderEditor::addOrder() {
    OrderList& list = ctx_.song.orders;
    const int order = current();
    const int count = std::clamp<int>(list.count, 1, MAX_ORDERS);
    if (count >= MAX_ORDERS) return;
    ctx_.history.apply("order insert", EditTarget::orders(), [&] {
        for (int i = count; i > order + 1; --i) list.entries[i] = list.entries[i - 1];
        list.entries[order + 1] = list.entries[order];
        list.count = count + 1;
    });
}

void OrderEditor::changePattern(int delta) {
    const int order = current();
    ctx_.history.apply("order pattern", EditTarget::orders(), [&] {
        int32_t& pattern = ctx_.song.orders.entries[order];
        pattern = std::clamp(pattern + delta, 0, MAX_PATTERNS - 1);
    });
}

void OrderEditor::deleteOrder() {
    OrderList& list = ctx_.song.orders;
    int& order = current();
    const int count = std::clamp<int>(list.count, 1, MAX_ORDERS);
    if (count < 2) return;
    ctx_.history.apply("order delete", EditTarget::orders(), [&] {
        for (int i = order; i < count - 1; ++i) list.entries[i] = list.entries[i + 1];
        list.count = count - 1;
        keepPlayerInSong();
    });
    if (order >= list.count) order = list.count - 1;
}

void OrderEditor::deletePrecedingOrder() {
    OrderList& list = ctx_.song.orders;
    int& order = current();
    if (order == 0) return;
    const int count = std::clamp<int>(list.count, 1, MAX_ORDERS);
    ctx_.history.apply("order delete", EditTarget::orders(), [&] {
        for (int i = order - 1; i < count - 1; ++i) list.entries[i] = list.entries[i + 1];
        list.count = count - 1;
        keepPlayerInSong();
    });
    --order;
}

// Called inside the history's change, so under the audio lock, after the song shrank: a player on the removed last order (a
// pattern that loops without advancing never wraps) would otherwise stay past the end, and the
// cursors that follow it with it.
void OrderEditor::keepPlayerInSong() {
    int& playing = ctx_.player.currentOrder;
    if (playing >= ctx_.song.orders.count) playing = ctx_.song.orders.count - 1;
}
