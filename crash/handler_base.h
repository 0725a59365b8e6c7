// Root of the structured-exception handlers: owns the report output and turns a reported
// exception into a thrown std::runtime_error.
#pragma once

#include <memory>
#include <string>

#include "crash/se_output.h"

namespace ostrel::se {

class HandlerBase {
 public:
  explicit HandlerBase(unsigned char flags);
  virtual ~HandlerBase();

  // Throws std::runtime_error with the message text + " [code:" + code + "]".
  [[noreturn]] virtual void raise(int code, const std::string& text);

  const std::shared_ptr<Output>& output() const { return output_; }
  void setOutput(std::shared_ptr<Output> output) { output_ = std::move(output); }
  unsigned char flags() const { return flags_; }

 private:
  std::shared_ptr<Output> output_;
  unsigned char flags_;
};

// The message raise throws: text + " [code:" + code + "]".
std::string RaisedMessage(int code, const std::string& text);

}  // namespace ostrel::se
