// The engine's C functions for the page's worker; web_session.h states their contract. Each
// keeps the string it returns in the engine, so JavaScript reads it before the next call.

#include <emscripten/emscripten.h>

#include <new>
#include <string>

#include "web/engine/web_session.h"

namespace {

struct Engine final {
    kvx::WebSession session;
    std::string returned;

    const char* keep(std::string text) {
        returned = std::move(text);
        return returned.c_str();
    }
};

} // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE Engine* kvx_create() {
    return new (std::nothrow) Engine();
}

EMSCRIPTEN_KEEPALIVE void kvx_destroy(Engine* engine) {
    delete engine;
}

EMSCRIPTEN_KEEPALIVE const char* kvx_load(Engine* engine, const char* name, const char* text) {
    return engine->keep(engine->session.load(name, text));
}

EMSCRIPTEN_KEEPALIVE int kvx_load_line(const Engine* engine) {
    return engine->session.loadLine();
}

EMSCRIPTEN_KEEPALIVE int kvx_pace(Engine* engine, double nowMs) {
    return engine->session.pace(nowMs);
}

EMSCRIPTEN_KEEPALIVE void kvx_command(Engine* engine, int command) {
    if (command >= 0 && command <= static_cast<int>(kvx::WebCommand::Urloeschen)) {
        engine->session.command(static_cast<kvx::WebCommand>(command));
    }
}

EMSCRIPTEN_KEEPALIVE void kvx_set_switch(Engine* engine, int bit, int on) {
    engine->session.setSwitch(bit, on != 0);
}

EMSCRIPTEN_KEEPALIVE void kvx_toggle_switch(Engine* engine, int bit) {
    engine->session.toggleSwitch(bit);
}

EMSCRIPTEN_KEEPALIVE const char* kvx_state(Engine* engine) {
    return engine->keep(engine->session.state());
}

EMSCRIPTEN_KEEPALIVE void kvx_capture(Engine* engine, int firstLine, int lastLine) {
    engine->session.capture(firstLine, lastLine);
}

EMSCRIPTEN_KEEPALIVE const char* kvx_status(Engine* engine) {
    return engine->keep(engine->session.status());
}

EMSCRIPTEN_KEEPALIVE const char* kvx_watch_set_text(Engine* engine, const char* text) {
    return engine->keep(engine->session.setWatchText(text));
}

EMSCRIPTEN_KEEPALIVE const char* kvx_watch_text(Engine* engine) {
    return engine->keep(engine->session.watchText());
}

EMSCRIPTEN_KEEPALIVE const char* kvx_watch_set_operand(Engine* engine, int row, const char* text) {
    return engine->keep(engine->session.watchSetOperand(row, text));
}

EMSCRIPTEN_KEEPALIVE void kvx_watch_remove(Engine* engine, int row) {
    engine->session.watchRemove(row);
}

EMSCRIPTEN_KEEPALIVE void kvx_watch_set_format(Engine* engine, int row, const char* name) {
    engine->session.watchSetFormat(row, name);
}

EMSCRIPTEN_KEEPALIVE void kvx_watch_set_control(Engine* engine, int row, const char* value) {
    engine->session.watchSetControl(row, value);
}

EMSCRIPTEN_KEEPALIVE const char* kvx_watch_write(Engine* engine, int row) {
    return engine->keep(engine->session.watchWrite(row));
}

EMSCRIPTEN_KEEPALIVE int kvx_watch_write_all(Engine* engine) {
    return engine->session.watchWriteAll();
}

EMSCRIPTEN_KEEPALIVE const char* kvx_watch_force(Engine* engine, int row) {
    return engine->keep(engine->session.watchForce(row));
}

EMSCRIPTEN_KEEPALIVE void kvx_watch_release(Engine* engine, int row) {
    engine->session.watchRelease(row);
}

EMSCRIPTEN_KEEPALIVE void kvx_watch_release_all(Engine* engine) {
    engine->session.watchReleaseAll();
}

EMSCRIPTEN_KEEPALIVE const char* kvx_watch_values(Engine* engine) {
    return engine->keep(engine->session.watchValues());
}

EMSCRIPTEN_KEEPALIVE const char* kvx_test(Engine* engine, const char* programName,
                                          const char* programText, const char* scenarioName,
                                          const char* scenarioText, int coverage) {
    return engine->keep(
        kvx::WebSession::test(programName, programText, scenarioName, scenarioText, coverage != 0));
}

EMSCRIPTEN_KEEPALIVE void kvx_record_start(Engine* engine, const char* date) {
    engine->session.recordStart(date);
}

EMSCRIPTEN_KEEPALIVE const char* kvx_record_stop(Engine* engine) {
    return engine->keep(engine->session.recordStop());
}

} // extern "C"
