#include "foundation/Fail.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <unistd.h>
#include <vector>

namespace {

constexpr int BUFFER_SIZE = 1024;
const char FATAL_TEXT[] = "**FATAL** error handler malfunction";
const char UNTREATED_CONTEXT[] =
    "The error-handler detected an untreated malfunction. This might\n";
const char UNTREATED_MESSAGE[] = "be harmless, but if the program should crash, please remember\n"
                                 "the following error-message for your bug-report";

// One report context per thread. Two buffers: the current text and a scratch
// buffer for composing; they swap after each report so a taken text stays
// readable until the next report.
struct Context {
    char buffers[2][BUFFER_SIZE];
    int current = 0;
    uint16_t length = 0; // 0 = nothing pending
    char* text() { return buffers[current]; }
    char* scratch() { return buffers[1 - current]; }
};

std::mutex& table_lock() {
    static std::mutex* lock = new std::mutex; // never destroyed: used at exit
    return *lock;
}

std::vector<Context*>& table() {
    static std::vector<Context*>* contexts = new std::vector<Context*>;
    return *contexts;
}

void print_untreated(Context& ctx);

void exit_handler() {
    std::lock_guard<std::mutex> guard(table_lock());
    for (Context* ctx : table())
        if (ctx->length > 0) print_untreated(*ctx);
}

// Registers the thread's context and prints what it left when the thread ends.
struct ThreadContext {
    Context* ctx = nullptr;
    bool failed = false;
    ~ThreadContext() {
        if (!ctx) return;
        std::lock_guard<std::mutex> guard(table_lock());
        if (ctx->length > 0) print_untreated(*ctx);
        auto& t = table();
        for (auto it = t.begin(); it != t.end(); ++it)
            if (*it == ctx) {
                t.erase(it);
                break;
            }
        delete ctx;
    }
};

thread_local ThreadContext thread_context;

// Call with the table lock held.
Context* context() {
    if (thread_context.ctx || thread_context.failed) return thread_context.ctx;
    static bool exit_handler_registered = false;
    if (!exit_handler_registered) {
        exit_handler_registered = true;
        std::atexit(exit_handler);
    }
    Context* ctx = new (std::nothrow) Context;
    if (!ctx) {
        thread_context.failed = true;
        return nullptr;
    }
    try {
        table().push_back(ctx);
    } catch (...) {
        delete ctx;
        thread_context.failed = true;
        return nullptr;
    }
    thread_context.ctx = ctx;
    return ctx;
}

// Appends text to out (holding len bytes), never beyond the report limit.
void append_cut(char* out, int& len, const char* text) {
    while (*text && len < FAIL_TEXT_MAX) out[len++] = *text++;
    out[len] = 0;
}

void append_cut(char* out, int& len, const char* text, int count) {
    for (int i = 0; i < count && len < FAIL_TEXT_MAX; i++) out[len++] = text[i];
    out[len] = 0;
}

void compose_new(Context& ctx, const char* context, const char* message) {
    char* out = ctx.scratch();
    int len = 0;
    out[0] = 0;
    append_cut(out, len, context);
    append_cut(out, len, message);
    if (len < FAIL_TEXT_MAX - 1) append_cut(out, len, "\r\n");
    ctx.current = 1 - ctx.current;
    ctx.length = uint16_t(len);
}

void compose_chain(Context& ctx, const char* context, const char* message) {
    if (ctx.length == 0) {
        compose_new(ctx, context, message);
        return;
    }
    char* out = ctx.scratch();
    int len = 0;
    out[0] = 0;
    append_cut(out, len, context);
    append_cut(out, len, message);
    append_cut(out, len, ", reason:\r\n ");
    append_cut(out, len, ctx.text(), ctx.length);
    ctx.current = 1 - ctx.current;
    ctx.length = uint16_t(len);
}

void write_all(const char* text, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(2, text, n);
        if (w <= 0) return;
        text += w;
        n -= size_t(w);
    }
}

void print_taken(Context& ctx) {
    write_all("MALFUNCTION:\n", 13);
    write_all(ctx.text(), ctx.length);
    ctx.length = 0;
    write_all("\n", 1);
}

void print_untreated(Context& ctx) {
    compose_chain(ctx, UNTREATED_CONTEXT, UNTREATED_MESSAGE);
    print_taken(ctx);
}

} // namespace

void fail_new(const char* context_text, const char* message) {
    std::lock_guard<std::mutex> guard(table_lock());
    Context* ctx = context();
    if (!ctx) return;
    if (ctx->length > 0) print_untreated(*ctx);
    compose_new(*ctx, context_text ? context_text : "", message ? message : "");
}

void fail_chain(const char* context_text, const char* message) {
    std::lock_guard<std::mutex> guard(table_lock());
    Context* ctx = context();
    if (!ctx) return;
    compose_chain(*ctx, context_text ? context_text : "", message ? message : "");
}

const char* fail_take() {
    std::lock_guard<std::mutex> guard(table_lock());
    Context* ctx = context();
    if (!ctx) return FATAL_TEXT;
    if (ctx->length == 0) return "";
    ctx->length = 0;
    return ctx->text();
}

void fail_print() {
    std::lock_guard<std::mutex> guard(table_lock());
    Context* ctx = context();
    if (!ctx) return;
    print_taken(*ctx);
}

bool fail_pending() {
    std::lock_guard<std::mutex> guard(table_lock());
    Context* ctx = context();
    return ctx && ctx->length > 0;
}
