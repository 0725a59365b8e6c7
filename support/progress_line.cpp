#include "support/progress_line.h"

#include <cmath>
#include <cstdio>

namespace support {

namespace {

// At most this many redraws a second (the last state is always drawn at the end).
constexpr double kMinSecondsBetweenDraws = 0.25;
constexpr int kSecondsPerMinute = 60;
constexpr int kSecondsPerHour = 3600;
constexpr int kClockTextSize = 32;

}  // namespace

std::string ClockText(double seconds) {
  const long whole = seconds > 0 ? std::lround(seconds) : 0;
  char text[kClockTextSize];
  if (whole >= kSecondsPerHour)
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / kSecondsPerHour,
                  whole / kSecondsPerMinute % kSecondsPerMinute, whole % kSecondsPerMinute);
  else
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / kSecondsPerMinute,
                  whole % kSecondsPerMinute);
  return text;
}

ProgressLine::ProgressLine(Writer writer, Clock clock)
    : writer_(std::move(writer)), clock_(std::move(clock)) {}

void ProgressLine::Begin(std::string_view action) {
  action_ = action;
  date_.clear();
  total_ = 0;
  done_ = 0;
  start_ = clock_();
  active_ = true;
}

void ProgressLine::SetTotal(int instruments) {
  total_ = instruments;
}

void ProgressLine::SetDate(std::string_view date) {
  date_ = date;
  Update(false);
}

void ProgressLine::InstrumentDone() {
  ++done_;
  Update(false);
}

void ProgressLine::End() {
  if (!active_) return;
  Update(true);
  writer_("\n");
  active_ = false;
  shown_ = false;
  drawnLength_ = 0;
}

void ProgressLine::Erase() {
  if (!shown_) return;
  writer_("\r" + std::string(drawnLength_, ' ') + "\r");
  shown_ = false;
  drawnLength_ = 0;
}

std::string ProgressLine::Text() const {
  const double elapsed = clock_() - start_;
  std::string text = action_ + ": " + std::to_string(done_);
  if (total_ > 0) text += "/" + std::to_string(total_);
  text += " instruments";
  if (!date_.empty()) text += ", date " + date_;
  text += ", " + ClockText(elapsed) + " elapsed";
  if (total_ > 0 && done_ > 0 && done_ < total_)
    text += ", about " + ClockText(elapsed / done_ * (total_ - done_)) + " left";
  return text;
}

void ProgressLine::Update(bool force) {
  if (!active_) return;
  const double now = clock_();
  if (!force && shown_ && now - lastDraw_ < kMinSecondsBetweenDraws) return;
  lastDraw_ = now;
  Draw();
}

void ProgressLine::Draw() {
  const std::string text = Text();
  std::string line = "\r" + text;
  // A shorter text must cover what the previous one left on the line.
  if (text.size() < drawnLength_) line += std::string(drawnLength_ - text.size(), ' ');
  writer_(line);
  drawnLength_ = text.size();
  shown_ = true;
}

}  // namespace support
