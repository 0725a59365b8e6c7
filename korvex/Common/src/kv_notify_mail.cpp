// The e-mail report of a structured exception, sent through PstSend of postrel.dll.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>

#include "basalt_settings.h"
#include "kv_exc.h"
#include "kv_util.h"

namespace kv {
namespace {

constexpr char kStackBegin[] = "------------- Call stack (begin) ---------------";
constexpr char kStackHeader[] = "Address\t\t\tFrame\t\t\tLogical addr\t\tModule";
constexpr char kStackEnd[] = "-------------- Call stack (end) ----------------";
constexpr char kRpcModule[] = "RPCRT4";
constexpr std::size_t kPieceSize = 64;
constexpr int kPointerDigits = 2 * sizeof(void*);

using PstSendFn = int(__stdcall*)(const char* server, unsigned short port, const char* from,
                                  const char* to, const char* subject, const char* body,
                                  char* error);

void append_format(std::string& out, const char* format, ...) KV_PRINTF(2, 3);
void append_format(std::string& out, const char* format, ...) {
  char piece[kMailFrameLineMax + 1];
  va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(piece, sizeof piece, format, args);
  va_end(args);
  if (n > 0) out += piece;
}

void append_date_time(std::string& body) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  append_format(body, "Date/Time: %02u.%02u.%04u %02u:%02u:%02u\n\n", t.wDay, t.wMonth, t.wYear,
                t.wHour, t.wMinute, t.wSecond);
}

void append_exception_line(std::string& body, const EXCEPTION_RECORD& record) {
  const auto address = reinterpret_cast<std::uintptr_t>(record.ExceptionAddress);
  const LogicalAddress where = logical_address(address);
  append_format(body, "Exception 0x%08X occured at address 0x%08" PRIXPTR " (%02X:%08" PRIXPTR,
                static_cast<unsigned>(record.ExceptionCode), address, where.section, where.offset);
  body += ' ';
  body += where.module;
  body += ") params:";
  const DWORD count = record.NumberParameters < EXCEPTION_MAXIMUM_PARAMETERS
                          ? record.NumberParameters
                          : EXCEPTION_MAXIMUM_PARAMETERS;
  for (DWORD i = 0; i < count; ++i) {
    append_format(body, "%s 0x%08" PRIXPTR, i > 0 ? "," : "",
                  static_cast<std::uintptr_t>(record.ExceptionInformation[i]));
  }
  body += '\n';
}

void append_frame(const Frame& frame, void* data) {
  auto& body = *static_cast<std::string*>(data);
  const LogicalAddress where = logical_address(frame.address);
  append_format(body, "0x%08" PRIXPTR "\t\t0x%0*" PRIXPTR "\t\t%04X:%08" PRIXPTR "\t\t%s",
                frame.address, kPointerDigits, frame.frame, where.section, where.offset,
                where.module);
  body += '\n';
}

std::string build_body(const EXCEPTION_POINTERS* pointers, const char* app_info) {
  std::string body = app_info ? app_info : "";
  append_date_time(body);
  if (const EXCEPTION_RECORD* record = exception_record(pointers)) {
    append_exception_line(body, *record);
  }
  body += kStackBegin;
  body += '\n';
  body += kStackHeader;
  body += '\n';
  if (const CONTEXT* context = exception_context(pointers)) {
    walk_frames(*context, append_frame, &body);
  }
  body += kStackEnd;
  body += '\n';
  return body;
}

bool mentions_rpc_module(const std::string& body) {
  const std::size_t n = sizeof kRpcModule - 1;
  for (std::size_t i = 0; i + n <= body.size(); ++i) {
    if (_strnicmp(body.c_str() + i, kRpcModule, n) == 0) return true;
  }
  return false;
}

std::string postrel_path() {
  const std::string program = host_program_path();
  const std::size_t slash = program.find_last_of("\\/");
  return (slash == std::string::npos ? std::string() : program.substr(0, slash + 1)) + kPostrelDll;
}

struct MailSettings {
  std::string server, from, to, subject, server_id;
  unsigned short port = 0;
};

MailSettings read_mail_settings() {
  MailSettings s;
  s.server = basalt::settings_text(kMailSection, "server", "");
  s.from = basalt::settings_text(kMailSection, "from", "");
  s.to = basalt::settings_text(kMailSection, "to", "");
  s.subject = basalt::settings_text(kMailSection, "subject", "");
  s.server_id = basalt::settings_text(kMailSection, "server_id", "");
  s.port = static_cast<unsigned short>(basalt::settings_int(kMailSection, "port", 0));
  return s;
}

bool send_through(HMODULE postrel, const MailSettings& s, const std::string& body) {
  const auto send =
      reinterpret_cast<PstSendFn>(reinterpret_cast<void*>(GetProcAddress(postrel, kPstSendName)));
  if (!send) {
    TaggedLine("EmailSender: send") << "Cannot find PstSend";
    return false;
  }
  const std::string subject = kSubjectPrefix + s.server_id + " " + s.subject;
  char error[kMailErrorSize] = "";
  if (send(s.server.c_str(), s.port, s.from.c_str(), s.to.c_str(), subject.c_str(), body.c_str(),
           error) == 0) {
    error[kMailErrorSize - 1] = '\0';
    TaggedLine("EmailSender: send") << "error<" << error << ">";
    return false;
  }
  return true;
}

}  // namespace

bool send_email_report(const EXCEPTION_POINTERS* pointers, const char*, const char* app_info) {
  if (basalt::settings_int(kMailSection, "enabled", 0) == 0) {
    TaggedLine("sehEmailReport: disabled");
    return false;
  }
  const std::string body = build_body(pointers, app_info);
  if (mentions_rpc_module(body)) {
    TaggedLine("sehEmailReport") << "Skip RPC stack.";
    return false;
  }
  const MailSettings settings = read_mail_settings();
  HMODULE postrel = LoadLibraryA(postrel_path().c_str());
  if (!postrel) {
    TaggedLine("EmailSender: send") << "Cannot load postrel.dll";
    return false;
  }
  const bool sent = send_through(postrel, settings, body);
  FreeLibrary(postrel);
  return sent;
}

}  // namespace kv
