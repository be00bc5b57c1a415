// How long the window's event loop goes without a turn: a timer of 5 ms on the window's thread,
// whose firings are timed. A timer is dispatched by the same turn of the loop that delivers the
// window system's input and paint events, from whichever loop runs (the window's own, the
// operation's nested wait, or the processEvents of a busy transfer), so a late firing is an event
// the user's input would have waited for just as long.
#pragma once

#include <QTimer>
#include <vector>

namespace bench {

class StallProbe {
 public:
  static constexpr int kIntervalMs = 5;

  StallProbe();
  void Start();
  // Ends the record; the time since the last turn counts as a gap too.
  void Stop();

  // The gaps between turns, in seconds, in order.
  const std::vector<double>& gaps() const { return m_gaps; }
  double Longest() const;
  double Percentile(double p) const;
  // When the longest gap began, seconds after Start.
  double LongestAt() const;
  // The gaps longer than limit as (start after Start, length) pairs, longest first, at most n.
  std::vector<std::pair<double, double>> Over(double limit, std::size_t n) const;

 private:
  void Turn();

  QTimer m_timer;
  double m_started = 0;
  double m_last = 0;
  std::vector<double> m_gaps;
  std::vector<double> m_at;  // start of each gap after m_started
};

}  // namespace bench
