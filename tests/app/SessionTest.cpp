// Editing sessions kept in tests/data/app/sessions/, driven through the built-in bindings: after each
// command, lines "  = ..." with what it changed, printed, showed or found, to be reproduced exactly.
// Keys as the configuration names them, bytes escaped as in Golden.h; Session::run lists the commands.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>

#include "app/HelpOverlay.h"
#include "song/InstrumentFile.h"
#include "song/SongFile.h"
#include "tests/app/EditorRig.h"
#include "tests/app/Golden.h"

namespace {

template <typename... T>
std::string list(T... v) {
    std::string out;
    ((out += (out.empty() ? "" : ",") + std::to_string(long(v))), ...);
    return out;
}

struct Session {
    MemoryClipboard clipboard;
    ScriptedDialogs dialogs;
    TempDir files;
    std::unique_ptr<EditorRig> r;
    PatternClipboard kept;
    std::map<std::string, std::vector<uint8_t>> songs;
    std::vector<std::string> screen;  // the first frame "frame" drew, sorted
    std::vector<std::string> said;    // the statuses shown since the last "run" or "open"

    // After each command but those that only look or prepare, the values of the editing state, player
    // and song that changed (requests to the audio thread taken, as it would); notes between them.
    std::string trace;
    std::map<std::string, std::string> last;
    std::unique_ptr<Song> lastSong = std::make_unique<Song>();
    void note(const std::string& text) { trace += " " + text + "\n"; }
    void snap() {
        std::map<std::string, std::string> now = state();
        std::string line;
        for (const auto& [k, v] : now)
            if (k == "requests" ? v != "-" : last[k] != v) line += " " + k + "=" + v;
        songChanges(line);
        trace += line + "\n";
        last = std::move(now);
        copySong(*r->song, *lastSong);
    }
    // Values the trace shows under a name, which "set NAME VALUE..." takes in the same order.
    struct Field {
        std::function<std::string()> show;
        std::function<void(const int*)> set;
        size_t count;  // values a set line gives
    };
    template <typename... T>
    static Field field(T&... v) {
        return {[&v...] { return list(v...); }, [&v...](const int* n) { ((v = T(*n++)), ...); },
                sizeof...(T)};
    }
    std::map<std::string, Field> fields() {
        EditingState& e = r->edit;
        Player& p = r->player;
        PatternSelection& sel = e.selection;
        RepeatBlock& block = e.repeatBlock;
        int32_t* envCursor = e.envelopeCursor;
        return {{"mode", field(e.mode)},
                {"cursor", field(e.cursor.row, e.cursor.channel, e.cursor.column)},
                {"octave", field(e.octave)},
                {"step", field(e.step)},
                {"record", field(e.record)},
                {"follow", field(e.cursorFollow)},
                {"blockRepeat", field(e.blockRepeat)},
                {"metronome", field(e.metronome)},
                {"selection", field(sel.channel1, sel.channel2, sel.row1, sel.row2, sel.marking)},
                {"repeatBlock", field(block.pattern, block.row1, block.row2, block.marking)},
                {"order", field(e.currentOrder)},
                {"instrument", field(e.currentInstrument)},
                {"firstShown", field(e.firstShownInstrument)},
                {"name", field(e.nameEditing, e.nameCursor)},
                {"envelope", field(e.currentEnvelope, e.typeFieldSelected)},
                {"envCursors", field(envCursor[0], envCursor[1], envCursor[2], envCursor[3])},
                {"running", field(r->program->running)},
                {"play", field(p.playing, p.patternMode, p.currentOrder, p.currentRow)},
                {"mask", field(p.channelMask)}};
    }
    std::map<std::string, std::string> state() {
        const EditingState& e = r->edit;
        Player& player = r->player;
        Program& program = *r->program;
        std::map<std::string, std::string> m = {
            {"playStart", list(e.playPatternStartRow)},
            {"clipboard", list(e.clipboard.width, e.clipboard.height, e.clipboard.cells[0].note)},
            {"status", "\"" + e.status.text + "\""},
            {"help", list(program.helpOverlay().isOpen(), program.helpOverlay().scroll())},
            {"held", list(long(program.heldNoteKeys().size()))},
            {"undo", list(long(program.history().undoSteps()), program.history().modified())},
            {"metronomeOn", list(player.metronomeOn)},
            {"repeat", list(player.repeatBlockOn, player.repeatMarkA, player.repeatMarkB)},
            {"lock", list(r->lock.depth, r->lock.maxDepth)}};
        for (const auto& [name, f] : fields()) m[name] = f.show();
        std::string sounding;
        for (int c = 0; c < CHANNEL_COUNT; ++c)
            sounding += (c ? "," : "") + list(player.channels[c].volume > 0 ? player.channels[c].noteOn : 0);
        m["sounding"] = sounding;
        std::string requests;
        if (player.stopRequest.exchange(false)) requests += "stop ";
        if (player.resetRequest.exchange(false)) requests += "reset ";
        if (player.reconfigureRequest.exchange(false)) requests += "reconfigure ";
        if (player.maskChanged.exchange(false)) requests += "mask ";
        if (int i = player.samplePreviewRequest.exchange(0)) requests += "preview" + list(i) + " ";
        m["requests"] = requests.empty() ? "-" : requests.substr(0, requests.size() - 1);
        return m;
    }
    void songChanges(std::string& line) const {
        const Song &s = *r->song, &o = *lastSong;
        auto add = [&](const std::string& k, const std::string& v) { line += " " + k + "=" + v; };
        if (s.orders.count != o.orders.count ||
            !std::equal(s.orders.entries, s.orders.entries + s.orders.count, o.orders.entries)) {
            std::string v;
            for (int i = 0; i < s.orders.count; ++i) v += (i ? "," : "") + list(s.orders.entries[i]);
            add("orders", v);
        }
        if (s.ntsc != o.ntsc) add("ntsc", list(s.ntsc));
        for (int p = 0; p < MAX_PATTERNS; ++p)
            for (int c = 0; c < CHANNEL_COUNT; ++c)
                for (int row = 0; row < ROWS_PER_PATTERN; ++row) {
                    const PatternCell &a = s.patterns[p].at(c, row), &b = o.patterns[p].at(c, row);
                    if (!(a == b)) add("cell" + list(p, c, row), list(a.note, a.instrument, a.fx, a.param));
                }
        for (int i = 0; i < INSTRUMENT_SLOTS; ++i) {
            const Instrument &a = s.instruments[i], &b = o.instruments[i];
            const std::string at = "inst" + list(i);
            if (a.type != b.type) add(at + ".type", list(a.type));
            for (int e = 0; e < ENVELOPE_COUNT; ++e) {
                if (a.envelopes[e] == b.envelopes[e]) continue;
                std::string v = list(a.envelopes[e].loopPoint) + ":";
                for (int k = 0; k < a.envelopes[e].length(); ++k)
                    v += (k ? "," : "") + list(a.envelopes[e].values[k]);
                add(at + ".env" + list(e), v);
            }
            if (!(a.pcm == b.pcm)) add(at + ".pcm", list(a.pcm.size, a.pcm.loop));
            if (!(a.dpcm == b.dpcm)) add(at + ".dpcm", list(a.dpcm.size, a.dpcm.loop));
            if (s.instrumentNames[i] != o.instrumentNames[i])
                add(at + ".name", "\"" + s.instrumentNames[i] + "\"");
            if (s.instrumentColours[i] != o.instrumentColours[i])
                add(at + ".colour", list(s.instrumentColours[i]));
        }
    }
    // Texts without the session folder's name, which changes from run to run.
    std::string unrooted(const std::string& text) const { return replaceAll(text, files.path(), ""); }
    // The name without the session folder and with its digits hidden (backup names carry the time).
    std::string masked(std::string name) const {
        name = unrooted(name);
        std::replace_if(name.begin(), name.end(), ::isdigit, '#');
        return name;
    }
    // Each line printed on standard output since it was captured, then each status shown.
    void notePrinted(bool mask) {
        std::istringstream printed(testing::internal::GetCapturedStdout());
        for (std::string line; std::getline(printed, line);) note("printed " + (mask ? masked(line) : line));
        noteSaid();
    }
    void noteSaid() {
        for (const std::string& text : said) note("said " + text);
        said.clear();
    }
    void run(std::istringstream& in) {
        std::string verb, a;
        in >> verb;
        auto rest = [&] {
            std::string text;
            std::getline(in >> std::ws, text);
            return text;
        };
        if (verb == "new") {  // new MODE [USER-CONFIG]: a fresh rig (first in a file)
            int mode = 0;
            in >> mode;
            r = std::make_unique<EditorRig>(EditorMode(mode), unescapeBytes(rest()));
            r->program->setClipboard(&clipboard);
            r->program->setFileDialogs(&dialogs);
            r->program->statusObserver = [this](const std::string& text) { said.push_back(text); };
            r->program->backupPath = files.path("backup.zcm");
            last.clear();
            copySong(*r->song, *lastSong);
            return snap();  // the whole state
        }
        ASSERT_TRUE(r) << "a session starts with \"new MODE\"";
        said.clear();
        std::vector<int> v;
        EditorRig& x = *r;
        EditingState& e = x.edit;
        Song& s = *x.song;
        auto ints = [&] {
            for (int i; in >> i;) v.push_back(i);
            return v.data();
        };
        if (verb == "press") {  // press COMBO...: each traced
            while (in >> a) {
                x.press(a);
                snap();
            }
        } else if (verb == "repeat") {  // repeat N COMBO: traced once
            int n;
            in >> n >> a;
            for (int i = 0; i < n; ++i) x.press(a);
        } else if (verb == "down" || verb == "up") {  // down COMBO [CODE]: pressed and held (typing CODE)
            in >> a;
            KeyEvent k = comboKeys(a).at(0);
            k.pressed = verb == "down";
            for (int code; in >> code;) k.unicode = uint16_t(code);
            verb == "down" ? x.program->onKeyDown(k) : x.program->onKeyUp(k);
        } else if (verb == "type") {  // type TEXT: character keys, no time between them
            for (char c : rest()) x.press(KeyEvent{uint32_t(uint8_t(c)), 0, uint16_t(uint8_t(c)), true}, 0);
        } else if (verb == "bind") {  // bind COMBO SECTION: a test action that says when it runs
            in >> a;
            const std::string section = rest();
            ActionTable& table = *x.bindings.table(section);
            parseKeyComboString(table.combos, a, "test action");
            table.handlers["test action"] = [this, section] { note("the " + section + " binding ran"); };
        } else if (verb == "preview") {  // preview COMBO NOTE: the note previewed for that key
            in >> a;
            x.program->previewNote(comboKeys(a).at(0), *ints());
        } else if (verb == "drawn") {  // drawn TEXT: whether a redraw shows a text holding TEXT
            a = unescapeBytes(rest());
            x.program->drawScreen();
            bool found = false;
            for (const DrawOp& op : x.canvas.ops)
                found |= op.kind == DrawOp::Text && op.text.find(a) != std::string::npos;
            note((found ? "drawn: " : "not drawn: ") + a);
        } else if (verb == "answer") {  // answer NAME|.|""|-: a file, the folder, no name, cancel
            a = rest();
            dialogs.answer = a == "." ? files.dir.string() : a == "\"\"" ? "" : files.path(a);
            if (a == "-") dialogs.answer.reset();
        } else if (verb == "run") {  // run ACTION: a global action, what it says and prints
            testing::internal::CaptureStdout();
            x.bindings.keyboardGlobal.handlers.at(rest())();
            notePrinted(false);
        } else if (verb == "asked") {  // what the dialogs were asked and told since
            for (const std::string& question : dialogs.asked) note("asked " + question);
            for (const std::string& path : dialogs.noted) note("told " + masked(path));
            dialogs.asked.clear(), dialogs.noted.clear();
        } else if (verb == "files") {  // the session folder's files and sizes
            std::set<std::string> found;
            for (const auto& f : std::filesystem::recursive_directory_iterator(files.dir))
                found.insert(masked(f.path().string()) +
                             (f.is_directory() ? "/" : " " + std::to_string(f.file_size())));
            for (const std::string& f : found) note("file " + f);
        } else if (verb == "read") {  // read NAME N: a file's first N bytes
            in >> a;
            note("read " + escapeBytes(readFile(files.path(a)).substr(0, *ints())));
        } else if (verb == "peek" && (in >> a, a == "tempo")) {  // what the trace leaves out
            note("tempo accumulator " + std::to_string(x.player.tempoAccumulator));
        } else if (verb == "peek") {  // peek sample N: the first bytes of instrument N's PCM sample
            const SampleSlot& pcm = s.instruments[*ints()].pcm;
            note("sample " +
                 escapeBytes(std::string(pcm.data.get(), pcm.data.get() + std::min(pcm.size, 8u))));
        } else if (verb == "holds") {  // holds FILE|FOLDER KEPT: whether it (its one file) holds those bytes
            in >> a;
            std::string path = files.path(a);
            if (std::filesystem::is_directory(path)) path = std::filesystem::directory_iterator(path)->path();
            const std::vector<uint8_t>& kept = songs.at(rest());
            note((readFile(path) == std::string(kept.begin(), kept.end()) ? "holds " : "lacks ") + a);
        } else if (verb == "path") {  // path backups|backup|recovery NAME|-: where copies go
            in >> a;
            const std::string name = rest(), path = name == "-" ? "" : files.path(name);
            (a == "backups"  ? x.program->backupDirectory
             : a == "backup" ? x.program->backupPath
                             : x.program->recoveryFallbackPath) = path;
        } else if (verb == "backup") {  // backup MS: the clock moved on by MS, then the backup if due
            x.host.now += *ints();
            x.program->backupIfDue(x.host.now);
            noteSaid();
        } else if (verb == "title") {  // the window title and those set on the window since
            note("title \"" + x.program->windowTitle() + "\"");
            for (const std::string& t : x.host.titles) note("shown \"" + t + "\"");
            x.host.titles.clear();
        } else if (verb == "clock") {  // clock MS: the host's clock
            x.host.now = *ints();
        } else if (verb == "drop") {  // drop NAME: a file dropped on the window, for the next pass
            x.host.events.push_back(AppEvent{AppEvent::FileDrop, {}, files.path(rest())});
        } else if (verb == "pass" || verb == "quit") {  // a pass of the main loop | a quit and the loop
            testing::internal::CaptureStdout();
            if (verb == "pass") {
                x.program->runPass();
                note(std::string("frame ") + (x.canvas.ops.back().kind == DrawOp::End ? "ended" : "open"));
            } else {
                x.host.events.push_back(AppEvent{AppEvent::Quit, {}, {}});
                x.program->runMainLoop();
                for (uint32_t ms : x.host.delays) note("waited " + std::to_string(ms) + " ms");
                x.host.delays.clear();
            }
            notePrinted(true);
        } else if (verb == "watch") {  // from now on each lock, unlock, pause and resume
            x.lock.observe = [this](char c) {
                snap();
                const char* event = c == 'L' ? "lock" : c == 'U' ? "unlock" : c == 'P' ? "pause" : "resume";
                note("audio " + std::string(event) + (r->player.captureMode ? ", player borrowed" : ""));
            };
        } else if (verb == "write") {  // write NAME BYTES | write NAME instrument N: a file to answer with
            in >> a;
            std::string bytes = unescapeBytes(rest());
            if (bytes.starts_with("instrument ")) {
                const std::vector<uint8_t> inst = serializeInstrument(s, std::stoi(bytes.substr(11)));
                bytes.assign(inst.begin(), inst.end());
            }
            std::ofstream(files.path(a), std::ios::binary) << bytes;
        } else if (verb == "open") {  // open NAME: a song opened as a drop is
            testing::internal::CaptureStdout();
            note(x.program->openSong(files.path(rest())) ? "opened" : "refused");
            notePrinted(true);
        } else if (verb == "frame") {  // the frame drawn: whole the first time, then what it lacks and adds
            x.program->drawScreen();
            std::vector<std::string> frame = drawnLines(x.canvas), gone, added;
            if (screen.empty())
                for (const std::string& l : frame) note(l);
            std::sort(frame.begin(), frame.end());
            if (screen.empty()) screen = frame;
            std::set_difference(screen.begin(), screen.end(), frame.begin(), frame.end(),
                                std::back_inserter(gone));
            std::set_difference(frame.begin(), frame.end(), screen.begin(), screen.end(),
                                std::back_inserter(added));
            for (const std::string& l : gone) note("- " + l);
            for (const std::string& l : added) note("+ " + l);
        } else if (verb == "redraw") {  // the main loop's redraw, which copies the play position
            x.program->drawScreen();
        } else if (verb == "ticks") {  // ticks N: the audio thread's frames
            for (int i = *ints(); i > 0; --i) x.player.frameTick();
        } else if (verb == "help") {  // every line of the key list
            for (const HelpLine& line : x.program->helpOverlay().lines()) note(line.text);
        } else if (verb == "fill") {  // something in every part of the song, no undo step
            fillEverySongPart(s);
            x.program->history().clear();
        } else if (verb == "clip") {  // clip TEXT: on the clipboard
            clipboard.putText(unescapeBytes(rest()));
        } else if (verb == "clipped") {  // the clipboard's text
            std::string text;
            note(clipboard.getText(text) ? escapeBytes(text) : "nothing");
        } else if (verb == "keep") {  // keep NAME: the song's bytes, for "same NAME"
            songs[rest()] = serializeSong(s);
        } else if (verb == "same") {  // same NAME: the song's bytes against those kept
            a = rest();
            note((serializeSong(s) == songs.at(a) ? "song as " : "song unlike ") + a);
        } else if (verb == "set" && (in >> a, a == "status")) {
            x.program->setStatus(rest());
        } else if (verb == "set") {  // set FIELD VALUE...: a traced field as the trace shows it
            const int* n = ints();
            const std::map<std::string, Field> traced = fields();
            const std::map<std::string, std::function<void()>> others = {
                {"ntsc", [&] { field(s.ntsc).set(n); }},
                {"tempoAccumulator", [&] { field(x.player.tempoAccumulator).set(n); }},
                {"backupInterval", [&] { field(x.program->backupIntervalMs).set(n); }},
                {"fps", [&] { field(x.settings.targetFps).set(n); }},
                {"dialogs", [&] { x.program->setFileDialogs(n[0] ? &dialogs : nullptr); }},
                {"keepClipboard", [&] { kept = e.clipboard; }},
                {"keptClipboard", [&] { e.clipboard = kept; }},
                {"select", [&] { x.program->instrumentList().selectInstrument(n[0]); }},
                {"markRepeatBlock", [&] { x.program->patternEditor().markRepeatBlock(n[0]); }}};
            if (traced.count(a)) {
                ASSERT_EQ(v.size(), traced.at(a).count) << "values of " << a;
                traced.at(a).set(n);
            } else if (others.count(a))
                others.at(a)();
            else
                FAIL() << "no field " << a;
        } else if (verb == "cell") {  // cell PATTERN CHANNEL ROW NOTE [INSTRUMENT FX PARAM]: the rest kept
            const int* n = ints();
            PatternCell& c = s.patterns[n[0]].at(n[1], n[2]);
            c.note = uint8_t(n[3]);
            if (v.size() == 7) c = PatternCell{c.note, uint8_t(n[4]), uint8_t(n[5]), uint8_t(n[6])};
        } else if (verb == "orders") {  // orders PATTERN...
            ints();
            s.orders.count = int32_t(v.size());
            std::copy(v.begin(), v.end(), s.orders.entries);
        } else if (verb == "env") {  // env INSTRUMENT ENVELOPE VALUE...: the values, the loop point kept
            ints();
            Envelope& env = s.instruments[v[0]].envelopes[v[1]];
            std::copy(v.begin() + 2, v.end(), env.values);
            env.values[v.size() - 2] = END_MARKER;
        } else if (verb == "inst") {  // inst N name TEXT | type T | colour C | loop E P | pcm|dpcm SIZE LOOP
            int i;
            in >> i >> a;
            Instrument& inst = s.instruments[i];
            static const uint8_t bytes[1 << 14] = {1, 2, 3};
            if (a == "name")
                s.instrumentNames[i] = rest();
            else if (ints(), a == "type")
                inst.type = InstrumentType(v.at(0));
            else if (a == "colour")
                s.instrumentColours[i] = v.at(0);
            else if (a == "loop")
                inst.envelopes[v.at(0)].loopPoint = v.at(1);
            else if (a == "pcm" || a == "dpcm")
                (a == "pcm" ? inst.pcm : inst.dpcm).assign(bytes, uint32_t(v.at(0)), v.at(1));
            else
                FAIL() << "no instrument field " << a;
        } else {
            FAIL() << "no command " << verb;
        }
        // Commands that only look or prepare leave the trace alone; the others add what they changed.
        static const std::set<std::string> quiet = {
            "press", "bind", "drawn", "answer", "asked", "files", "read",    "peek", "holds", "path", "title",
            "clock", "drop", "watch", "write",  "help",  "clip",  "clipped", "keep", "same",  "frame"};
        if (!quiet.count(verb)) snap();
    }
};

}  // namespace

TEST(EditingSessions, RunAsKept) {
    namespace fs = std::filesystem;
    int sessions = 0;
    for (const auto& file : fs::directory_iterator(BF_SOURCE_DIR "/tests/data/app/sessions")) {
        SCOPED_TRACE(file.path().filename().string());
        std::ifstream in(file.path());
        Session session;
        std::string out;
        for (std::string line; std::getline(in, line);) {
            if (line.starts_with("  =")) continue;
            out += line + "\n";
            if (line.empty() || line[0] == '#') continue;
            std::istringstream command(line);
            session.run(command);
            std::istringstream trace(session.trace);
            for (std::string t; std::getline(trace, t);) out += "  =" + session.unrooted(t) + "\n";
            session.trace.clear();
        }
        expectTestData("app/sessions/" + file.path().filename().string(), out);
        ++sessions;
    }
    EXPECT_GT(sessions, 0);
}
