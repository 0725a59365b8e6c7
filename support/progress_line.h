// The self-updating progress line of a long action: instruments done of the total, the
// date being worked on, the time elapsed and an estimate of the time left, redrawn in
// place ("\r") at most a few times a second. ProgressLine only formats and paces; where
// its text goes and what time it is are given to it, so that it can be tested alone.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace support {

class ProgressLine {
 public:
  using Writer = std::function<void(std::string_view)>;
  using Clock = std::function<double()>;  // seconds, never decreasing

  ProgressLine(Writer writer, Clock clock);

  // Starts the line of action (total instruments unknown, nothing done); it is drawn at
  // the first date or instrument, then again when one changes, paced.
  void Begin(std::string_view action);
  // Known before the first instrument; drawn with the next date or instrument.
  void SetTotal(int instruments);
  // The date now worked on (YYYYMMDD), shown until the next one.
  void SetDate(std::string_view date);
  void InstrumentDone();
  // Draws the final state and ends the line with a newline; the line is then inactive.
  void End();
  // Erases a drawn line so that other output can start at the beginning of a line; the
  // next update draws it again.
  void Erase();

  bool Active() const { return active_; }
  // The text of the current state, without "\r" and padding.
  std::string Text() const;

 private:
  void Update(bool force);
  void Draw();

  Writer writer_;
  Clock clock_;
  bool active_ = false;
  bool shown_ = false;
  std::string action_;
  std::string date_;
  int total_ = 0;
  int done_ = 0;
  double start_ = 0;
  double lastDraw_ = 0;
  std::size_t drawnLength_ = 0;
};

// "0:07", "12:30", "1:02:03".
std::string ClockText(double seconds);

}  // namespace support
