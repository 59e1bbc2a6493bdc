#include "LatencyCharts.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QHBoxLayout>
#include <QLineSeries>
#include <QList>
#include <QLocale>
#include <QValueAxis>

#include <algorithm>

#include "LinkTestRun.h"
#include "LinkTestTexts.h"

namespace {

QChart* NewChart(const QString& title) {
  auto* chart = new QChart;
  chart->setTitle(title);
  chart->legend()->hide();
  chart->setMargins(QMargins(4, 4, 4, 4));
  chart->setBackgroundRoundness(0);
  chart->setLocalizeNumbers(true);
  chart->setLocale(QLocale(QLocale::French, QLocale::France));
  return chart;
}

QValueAxis* NewAxis(QChart* chart, const QString& title, Qt::Alignment where) {
  auto* axis = new QValueAxis(chart);
  axis->setTitleText(title);
  axis->setLabelFormat(QStringLiteral("%.3g"));
  axis->setRange(0, 1);
  chart->addAxis(axis, where);
  return axis;
}

std::vector<QPointF> PointsOf(const QLineSeries* series) {
  const QList<QPointF> points = series->points();
  return {points.begin(), points.end()};
}

}  // namespace

LatencyCharts::LatencyCharts(QWidget* parent) : QWidget(parent) {
  QChart* histogram = NewChart(QStringLiteral("Latences (le 1 % le plus lent à droite)"));
  FHistogram = histogram;
  FHistogramLine = new QLineSeries(histogram);
  FHistogramArea = new QAreaSeries(FHistogramLine);
  FHistogramArea->setParent(histogram);
  histogram->addSeries(FHistogramArea);
  FHistogramX = NewAxis(histogram, QStringLiteral("Latence (ms)"), Qt::AlignBottom);
  FHistogramY = NewAxis(histogram, QStringLiteral("Messages"), Qt::AlignLeft);
  FHistogramY->setLabelFormat(QStringLiteral("%.0f"));
  FHistogramArea->attachAxis(FHistogramX);
  FHistogramArea->attachAxis(FHistogramY);

  QChart* trace = NewChart(QStringLiteral("Latence au fil du test"));
  FTrace = new QLineSeries(trace);
  trace->addSeries(FTrace);
  FTraceX = NewAxis(trace, QStringLiteral("Temps (s)"), Qt::AlignBottom);
  FTraceY = NewAxis(trace, QStringLiteral("Latence (ms)"), Qt::AlignLeft);
  FTrace->attachAxis(FTraceX);
  FTrace->attachAxis(FTraceY);

  HistogramView = new QChartView(histogram, this);
  TraceView = new QChartView(trace, this);
  for (QChartView* view : {HistogramView, TraceView}) {
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(280, 200);
  }
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(HistogramView, 1);
  layout->addWidget(TraceView, 1);
}

void LatencyCharts::Clear() {
  FHistogramLine->clear();
  FTrace->clear();
  FHistogramX->setRange(0, 1);
  FHistogramY->setRange(0, 1);
  FTraceX->setRange(0, 1);
  FTraceY->setRange(0, 1);
}

void LatencyCharts::Show(const LinkTestRun& run) {
  // Up to the 99th percentile, so that a few late answers do not squeeze the rest into one bin.
  const LatencyStats::Histogram h =
      run.Latencies().MakeHistogram(HistogramBins, run.Latencies().Summarize().P99Us);
  QList<QPointF> steps;
  uint64_t most = 0;
  for (size_t i = 0; i < h.Counts.size(); ++i) {
    const double from = static_cast<double>(h.FirstUs + i * h.BinUs) / 1000.0;
    const double to = static_cast<double>(h.FirstUs + (i + 1) * h.BinUs) / 1000.0;
    const auto count = static_cast<double>(h.Counts[i]);
    if (i == 0) steps << QPointF(from, 0);
    steps << QPointF(from, count) << QPointF(to, count);
    if (i + 1 == h.Counts.size()) steps << QPointF(to, 0);
    most = std::max(most, h.Counts[i]);
  }
  FHistogramLine->replace(steps);
  // The bins' width, in the chart's title (two lines: the axis has no room for it).
  const int decimals = h.BinUs >= 1000 ? 0 : h.BinUs >= 100 ? 1 : h.BinUs >= 10 ? 2 : 3;
  FHistogram->setTitle(h.Counts.empty()
                           ? QStringLiteral("Latences (le 1 % le plus lent à droite)")
                           : QStringLiteral("Latences par tranches de %1<br>(le 1 % le plus lent à droite)")
                                 .arg(MillisecondsText(static_cast<double>(h.BinUs), decimals)));
  if (!steps.isEmpty()) {
    FHistogramX->setRange(steps.front().x(), steps.back().x());
    FHistogramY->setRange(0, static_cast<double>(std::max<uint64_t>(most, 1)) * 1.1);
  }

  // The highest latency of each share of the messages, at the time the first of them left.
  const auto& records = run.Records();
  const size_t share = std::max<size_t>(1, (records.size() + MostTracePoints - 1) / MostTracePoints);
  QList<QPointF> points;
  double highest = 0;
  for (size_t first = 0; first < records.size(); first += share) {
    const size_t end = std::min(records.size(), first + share);
    uint64_t worst = 0;
    bool any = false;
    for (size_t i = first; i < end; ++i) {
      const LinkTestRun::Record& r = records[i];
      if (r.Status != LinkTestRun::MessageStatus::Received && r.Status != LinkTestRun::MessageStatus::OutOfOrder) {
        continue;
      }
      worst = std::max(worst, r.ReceivedUs > r.SentUs ? r.ReceivedUs - r.SentUs : 0);
      any = true;
    }
    if (!any) continue;
    const double seconds = static_cast<double>(records[first].HandedUs - run.StartUs()) / 1e6;
    points << QPointF(seconds, static_cast<double>(worst) / 1000.0);
    highest = std::max(highest, static_cast<double>(worst) / 1000.0);
  }
  FTrace->replace(points);
  if (!points.isEmpty()) {
    FTraceX->setRange(0, std::max(points.back().x(), 0.001));
    FTraceY->setRange(0, std::max(highest, 0.001) * 1.1);
  }
}

QString LatencyCharts::HistogramTitle() const { return FHistogram->title(); }

std::vector<QPointF> LatencyCharts::HistogramPoints() const { return PointsOf(FHistogramLine); }
std::vector<QPointF> LatencyCharts::TracePoints() const { return PointsOf(FTrace); }
