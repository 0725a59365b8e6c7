#include "crash/handler_base.h"

#include <stdexcept>

namespace ostrel::se {

HandlerBase::HandlerBase(unsigned char flags)
    : output_(std::make_shared<Output>()), flags_(flags) {}

HandlerBase::~HandlerBase() = default;

void HandlerBase::raise(int code, const std::string& text) {
  throw std::runtime_error(RaisedMessage(code, text));
}

std::string RaisedMessage(int code, const std::string& text) {
  return text + " [code:" + std::to_string(code) + "]";
}

}  // namespace ostrel::se
