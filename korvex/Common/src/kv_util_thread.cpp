// The calling thread's mark, banner and source position.
#include <cstring>

#include "kv_util_state.h"

namespace kv {
namespace {

char g_empty[1] = "";

// Copies at most size - 1 characters and always ends with a zero.
void copy_cut(char* out, std::size_t size, const char* text) {
  std::size_t n = 0;
  if (text) {
    while (n + 1 < size && text[n]) ++n;
    std::memcpy(out, text, n);
  }
  out[n] = '\0';
}

}  // namespace

char* set_mark(const char* text) {
  ThreadState* s = thread_state();
  if (!s) return g_empty;
  copy_cut(s->mark, sizeof s->mark, text);
  return s->mark;
}

void report_as_thread(DWORD thread_id) {
  if (ThreadState* s = thread_state()) s->reported_id = thread_id;
}

char* mark() {
  ThreadState* s = thread_state();
  return s ? s->mark : g_empty;
}

bool set_banner(const char* text) {
  ThreadState* s = thread_state();
  if (!s) return false;
  copy_cut(s->banner, sizeof s->banner, text);
  return true;
}

unsigned set_source_position(const char* file, int line) {
  ThreadState* s = thread_state();
  if (!s) return 0;
  copy_cut(s->source_file, sizeof s->source_file, file);
  s->source_line = line;
  return static_cast<unsigned>(std::strlen(s->source_file) + 1);
}

const char* source_file() {
  const ThreadState* s = existing_thread_state();
  return s ? s->source_file : "";
}

int source_line() {
  const ThreadState* s = existing_thread_state();
  return s ? s->source_line : 0;
}

const char* source_base_name() {
  const char* file = source_file();
  const char* base = file;
  for (const char* p = file; *p; ++p) {
    if (*p == '\\' || *p == ':') base = p + 1;
  }
  return base;
}

}  // namespace kv
