// Where the call stack walker sends its text: the module list and the frames, each framed by
// a begin and an end banner. Every line ends up in writeLine, which subclasses replace.
#pragma once

namespace ostrel::callstack {

class Output {
 public:
  virtual ~Output() = default;

  virtual void moduleListBegin();
  virtual void moduleEntry(const char* line);
  virtual void moduleListEnd();
  virtual void callStackBegin();
  virtual void callStackEntry(const char* line);
  virtual void callStackEnd();
  // Writes the line and a line end to the standard output and flushes it.
  virtual void writeLine(const char* line);
};

}  // namespace ostrel::callstack
