#pragma once
// The two charts of the connection test window: a histogram of the
// latencies up to the 99th percentile (the slowest 1 % in its last bar), and the latency of the messages against the time they were
// sent (each point the highest latency of its share of the messages, so that
// a spike stays visible however many messages there are).
//
// User-interface thread only. The widget owns its charts and series (Qt
// parent ownership); Show reads the run and keeps nothing of it.

#include <QPointF>
#include <QWidget>

#include <vector>

class LinkTestRun;
class QAreaSeries;
class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;

class LatencyCharts : public QWidget {
  Q_OBJECT

 public:
  static constexpr int HistogramBins = 40;
  static constexpr int MostTracePoints = 1500;

  explicit LatencyCharts(QWidget* parent = nullptr);

  void Show(const LinkTestRun& run);
  void Clear();

  // The points drawn: (latency in ms, messages) along the steps of the
  // histogram; (seconds since the start, latency in ms) of the trace.
  // The histogram's title, with the width of its bins.
  QString HistogramTitle() const;
  std::vector<QPointF> HistogramPoints() const;
  std::vector<QPointF> TracePoints() const;

  QChartView* HistogramView;
  QChartView* TraceView;

 private:
  QLineSeries* FHistogramLine;
  QAreaSeries* FHistogramArea;
  QChart* FHistogram;
  QValueAxis* FHistogramX;
  QValueAxis* FHistogramY;
  QLineSeries* FTrace;
  QValueAxis* FTraceX;
  QValueAxis* FTraceY;
};
