#include "codecs/jpeg/jpeg_error.h"

#include <cstring>

namespace lumora {

namespace {

const char* kCorruptedText = "Corrupted";

// The library's standard message table (filled by jpeg_std_error once).
struct TMessageTable {
  const char* const* Messages = nullptr;
  int Last = -1;
  TMessageTable() {
    jpeg_error_mgr probe;
    jpeg_std_error(&probe);
    Messages = probe.jpeg_message_table;
    Last = probe.last_jpeg_message;
  }
};

const TMessageTable& MessageTable() {
  static const TMessageTable table;
  return table;
}

// Expands the printf-style template into `out` (capacity `size`, always
// terminated) without a printf: numbers become "?", strings the given text.
void ExpandTemplate(const char* pattern, const char* text, char* out, size_t size) {
  size_t n = 0;
  auto put = [&](char c) {
    if (n + 1 < size) out[n++] = c;
  };
  for (const char* p = pattern; *p != '\0'; ++p) {
    if (*p != '%') {
      put(*p);
      continue;
    }
    ++p;
    if (*p == '%') {
      put('%');
      continue;
    }
    while (*p != '\0' && std::strchr("-+ #0123456789.lhzjt", *p) != nullptr) ++p;
    if (*p == '\0') break;
    if (*p == 's') {
      for (const char* t = text; *t != '\0'; ++t) put(*t);
    } else {
      put('?');
    }
  }
  out[n] = '\0';
}

void ErrorExit(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
  const jpeg_error_mgr& err = manager->Base;
  const TMessageTable& table = MessageTable();
  const int code = err.msg_code;
  if (code < 0 || code > table.Last || table.Messages[code] == nullptr) {
    ExpandTemplate(kCorruptedText, "", manager->Message, sizeof manager->Message);
  } else {
    char text[JMSG_STR_PARM_MAX + 1];
    std::memcpy(text, err.msg_parm.s, JMSG_STR_PARM_MAX);
    text[JMSG_STR_PARM_MAX] = '\0';
    ExpandTemplate(table.Messages[code], text, manager->Message, sizeof manager->Message);
  }
  if (manager->Progress) manager->Progress->Abort();
  std::longjmp(manager->Jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level) {
  // Only warnings (level -1) matter; trace messages are dropped. Nothing is
  // printed: the count and the last code reach the parameters.
  if (level >= 0) return;
  auto* manager = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
  ++manager->WarningCount;
  manager->LastWarningCode = manager->Base.msg_code;
  ++manager->Base.num_warnings;
}

void OutputMessage(j_common_ptr) {}

}  // namespace

std::string JpegMessageText(int code, const char* text) {
  const TMessageTable& table = MessageTable();
  if (code < 0 || code > table.Last || table.Messages[code] == nullptr) return kCorruptedText;
  char out[JMSG_LENGTH_MAX + 80];
  ExpandTemplate(table.Messages[code], text ? text : "", out, sizeof out);
  return out;
}

jpeg_error_mgr* InitJpegErrorManager(TJpegErrorManager& manager, TIOProgress& progress) {
  MessageTable();  // built here, outside any library call
  jpeg_std_error(&manager.Base);
  manager.Base.error_exit = ErrorExit;
  manager.Base.emit_message = EmitMessage;
  manager.Base.output_message = OutputMessage;
  manager.Progress = &progress;
  manager.WarningCount = 0;
  manager.LastWarningCode = 0;
  manager.Message[0] = '\0';
  return &manager.Base;
}

void JpegFailFromCallback(j_common_ptr cinfo, const char* message) {
  auto* manager = reinterpret_cast<TJpegErrorManager*>(cinfo->err);
  std::strncpy(manager->Message, message, sizeof manager->Message - 1);
  manager->Message[sizeof manager->Message - 1] = '\0';
  if (manager->Progress) manager->Progress->Abort();
  std::longjmp(manager->Jump, 1);
}

}  // namespace lumora
