// The window on Qt's offscreen platform, on the generated million-product
// file: loading through the window's load path until the first rows are
// painted, a selection change until the preview is painted, and a jump to
// the end of the list until it is painted. Also reports how much heap the
// data list's view and model take for a million rows.
//
//   window_bench [--inputs=DIR] [Google Benchmark flags]
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>

#include <QApplication>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "app/data_list_view.h"
#include "app/main_dlg.h"
#include "bench/input_folder.h"

namespace tabrelium::bench {
namespace {

constexpr int kRepetitions = 7;

const InputFolder* g_folder = nullptr;
CMainDlg* g_dialog = nullptr;

std::string MillionRowFile() {
  for (const ProductInput& input : kProductInputs)
    if (input.label == "1M_rows") return g_folder->PathOf(input);
  return {};
}

size_t HeapInUse() { return mallinfo2().uordblks; }

// A message box would stop the measurement: none is expected, and any that
// comes is counted as an error.
class CountingSink final : public CMessageSink {
 public:
  void ShowMessage(QWidget*, const QString& text, const QString&, MessageIcon) override {
    std::fprintf(stderr, "window_bench: unexpected message: %s\n", qPrintable(text));
    ++count;
  }
  int count = 0;
};

void PaintNow(QWidget* widget) { widget->repaint(); }

void BM_LoadMillionRowsUntilPainted(benchmark::State& state) {
  const QString path = QString::fromStdString(MillionRowFile());
  CDataListView* list = g_dialog->DataList();
  for (auto _ : state) {
    if (!g_dialog->OpenDataFile(path)) state.SkipWithError("the file did not load");
    PaintNow(list->viewport());
  }
  state.counters["rows"] = list->model()->rowCount();
}

void BM_SelectionToPreviewPainted(benchmark::State& state) {
  g_dialog->OpenDataFile(QString::fromStdString(MillionRowFile()));
  CDataListView* list = g_dialog->DataList();
  int row = 0;
  for (auto _ : state) {
    row = (row + 7919) % list->model()->rowCount();
    list->SelectRow(row);
    PaintNow(g_dialog->LcdPreview()->viewport());
  }
}

void BM_ScrollToEndPainted(benchmark::State& state) {
  g_dialog->OpenDataFile(QString::fromStdString(MillionRowFile()));
  CDataListView* list = g_dialog->DataList();
  list->setFocus();
  bool toEnd = true;
  for (auto _ : state) {
    // Alternate, so every iteration really moves a million rows.
    QKeyEvent key(QEvent::KeyPress, toEnd ? Qt::Key_End : Qt::Key_Home, Qt::ControlModifier);
    QCoreApplication::sendEvent(list, &key);
    PaintNow(list->viewport());
    toEnd = !toEnd;
  }
}

// Heap held by the view and its model for a million rows: the cell table is
// built first, then the list is rebuilt and painted and the difference kept.
void ReportViewMemory() {
  g_dialog->OpenDataFile(QString::fromStdString(MillionRowFile()));
  g_dialog->RebuildDataColumns();  // settles the model once
  const size_t before = HeapInUse();
  g_dialog->RebuildDataColumns();
  PaintNow(g_dialog->DataList()->viewport());
  QKeyEvent key(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
  QCoreApplication::sendEvent(g_dialog->DataList(), &key);
  PaintNow(g_dialog->DataList()->viewport());
  const long long grown = static_cast<long long>(HeapInUse()) - static_cast<long long>(before);
  std::printf("view_heap_growth_bytes %lld for %d rows\n", grown,
              g_dialog->DataList()->model()->rowCount());
}

}  // namespace
}  // namespace tabrelium::bench

int main(int argc, char** argv) {
  using namespace tabrelium;
  using namespace tabrelium::bench;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QTemporaryDir configHome;  // defaults, whatever this machine's configuration holds
  qputenv("XDG_CONFIG_HOME", configHome.path().toUtf8());
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  std::string dir;
  // A fixed count of iterations makes instruction counts (valgrind) comparable
  // between builds; timed runs leave it to Google Benchmark.
  int iterations = 0;
  for (int i = 1; i < argc; ++i) {
    constexpr std::string_view kInputs = "--inputs=";
    constexpr std::string_view kIterations = "--iterations=";
    const std::string_view arg = argv[i];
    if (arg.starts_with(kInputs)) {
      dir = arg.substr(kInputs.size());
    } else if (arg.starts_with(kIterations)) {
      iterations = std::atoi(argv[i] + kIterations.size());
    } else {
      std::fprintf(stderr, "window_bench: unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  std::string error;
  std::optional<InputFolder> folder = InputFolder::Prepare(dir, error);
  if (!folder) {
    std::fprintf(stderr, "window_bench: %s\n", error.c_str());
    return 1;
  }
  g_folder = &*folder;
  auto sink = std::make_unique<CountingSink>();
  CountingSink* messages = sink.get();
  CMainDlg dialog(nullptr, std::move(sink));
  dialog.show();
  // The size the window had before it could be resized, so that figures
  // compare across layouts: the lists' painted area decides their cost.
  dialog.resize(1162, 842);
  QCoreApplication::processEvents();
  g_dialog = &dialog;

  // The first load of the process, on memory never touched before: what a
  // user who opens the window and picks the file waits for.
  const auto coldStart = std::chrono::steady_clock::now();
  dialog.OpenDataFile(QString::fromStdString(MillionRowFile()));
  dialog.DataList()->viewport()->repaint();
  std::printf("first_load_until_painted_ms %.1f\n",
              std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - coldStart)
                  .count());

  for (auto* bench : {benchmark::RegisterBenchmark("window/load_1M_rows_until_painted",
                                                   BM_LoadMillionRowsUntilPainted),
                      benchmark::RegisterBenchmark("window/selection_to_preview_painted",
                                                   BM_SelectionToPreviewPainted),
                      benchmark::RegisterBenchmark("window/scroll_to_end_painted",
                                                   BM_ScrollToEndPainted)}) {
    bench->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(kRepetitions)
        ->ReportAggregatesOnly(true);
    if (iterations > 0) bench->Iterations(iterations);
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  ReportViewMemory();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak_rss_mib %.1f\n", usage.ru_maxrss / 1024.0);
  return messages->count == 0 ? 0 : 1;
}
