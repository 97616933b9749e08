// Benchmarks of libpdfmisc against the command-line tools that do the same work, on the same
// files, in one run: merging (qpdf --empty --pages, pdfunite), page counts (qpdf --show-npages)
// and footers (qpdf --overlay of one prebuilt footer page). Every measured run is a child
// process (ours forked, the tools spawned), so each figure also has the run's peak RSS.
//
//   pdfmisc_bench [--quick]     --quick: smaller sizes, one run each (a smoke test)

#include <cairo-pdf.h>
#include <cairo.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "pdfmisc/pdfmisc.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

struct Sample {
  double ms = 0;
  long peakKb = 0;
  bool ok = true;
};

struct Figure {
  double medianMs = 0;
  long peakKb = 0;
  bool ok = true;
};

Sample Wait(pid_t pid, std::chrono::steady_clock::time_point started) {
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - started;
  return {took.count(), usage.ru_maxrss, WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

// Runs fn in a forked child; exit status 0 when fn returns true.
Sample InChild(const std::function<bool()>& fn) {
  const auto started = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(fn() ? 0 : 1);
  return Wait(pid, started);
}

Sample Spawn(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto started = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return {0, 0, false};
  }
  posix_spawn_file_actions_destroy(&actions);
  return Wait(pid, started);
}

Figure Measure(int runs, const std::function<Sample()>& once) {
  std::vector<double> times;
  Figure figure;
  for (int i = 0; i < runs; ++i) {
    const Sample s = once();
    times.push_back(s.ms);
    figure.peakKb = std::max(figure.peakKb, s.peakKb);
    figure.ok = figure.ok && s.ok;
  }
  std::sort(times.begin(), times.end());
  figure.medianMs = times[times.size() / 2];
  return figure;
}

// A page like a printed web page: lines of text and a photo-like image of its own.
void WritePages(const std::string& path, int pages, int seed) {
  cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), 612, 792);
  cairo_t* cr = cairo_create(surface);
  std::mt19937 random(static_cast<unsigned>(seed));
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 160, 120);
  unsigned char* data = cairo_image_surface_get_data(image);
  const int stride = cairo_image_surface_get_stride(image);
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 160; ++x) {
      uint32_t* pixel = reinterpret_cast<uint32_t*>(data + y * stride) + x;
      const uint32_t noise = random() & 0x3F3F3F;
      *pixel =
          (static_cast<uint32_t>(x * 255 / 160) << 16 | static_cast<uint32_t>(y * 2) << 8 | 0x80) +
          noise;
    }
  }
  cairo_surface_mark_dirty(image);
  cairo_select_font_face(cr, "DejaVu Serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 10);
  for (int p = 0; p < pages; ++p) {
    cairo_set_source_surface(cr, image, 72, 72);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    for (int line = 0; line < 40; ++line) {
      cairo_move_to(cr, 72, 220 + line * 13);
      cairo_show_text(
          cr, ("File " + std::to_string(seed) + " page " + std::to_string(p + 1) +
               ": the quick brown fox jumps over the lazy dog, line " + std::to_string(line))
                  .c_str());
    }
    cairo_show_page(cr);
  }
  cairo_surface_destroy(image);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

std::string Join(const std::vector<std::string>& paths, size_t count) {
  std::string list;
  for (size_t i = 0; i < count; ++i) list += (i ? "?" : "") + paths[i];
  return list;
}

bool CallMerge(const std::string& list, const std::string& out) {
  int32_t code = 0;
  char16_t* message = nullptr;
  const int32_t ok = PDF_Merge(list.c_str(), out.c_str(), &code, &message);
  FreePWChar(message);
  return ok != 0;
}

std::string Ms(const Figure& f) {
  char text[64];
  if (!f.ok) return "failed";
  if (f.medianMs >= 10000) {
    std::snprintf(text, sizeof text, "%.2f s", f.medianMs / 1000);
  } else {
    std::snprintf(text, sizeof text, "%.0f ms", f.medianMs);
  }
  return text;
}

std::string Mb(const Figure& f) { return std::to_string(f.peakKb / 1024) + " MB"; }

// One line: our figure first, then each tool's, then our time as a share of each tool's.
void Row(const std::string& what, const std::vector<Figure>& figures,
         const std::vector<std::string>& tools) {
  std::printf("%-30s", what.c_str());
  for (const Figure& f : figures) std::printf(" %9s %7s |", Ms(f).c_str(), Mb(f).c_str());
  for (size_t i = 1; i < figures.size() && i <= tools.size(); ++i) {
    std::printf(" %s %.2fx", tools[i - 1].c_str(), figures[0].medianMs / figures[i].medianMs);
  }
  std::printf("\n");
}

std::string Machine() {
  std::ifstream cpu("/proc/cpuinfo");
  std::string line, model;
  while (std::getline(cpu, line)) {
    if (line.rfind("model name", 0) == 0) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  }
  std::ostringstream out;
  out << model << ", " << ::sysconf(_SC_NPROCESSORS_ONLN) << " CPUs, "
      << (::sysconf(_SC_PHYS_PAGES) * ::sysconf(_SC_PAGE_SIZE) >> 30) << " GiB";
  return out.str();
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
  ::setenv("PDFMISC_LOG", "0", 1);
  std::string folder = (fs::temp_directory_path() / "pdfmisc-bench-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) return 1;

  const std::vector<size_t> sizes =
      quick ? std::vector<size_t>{5, 20} : std::vector<size_t>{20, 200, 2000};
  const size_t files = sizes.back();
  std::vector<std::string> paths;
  size_t pages = 0;
  uintmax_t bytes = 0;
  for (size_t i = 0; i < files; ++i) {
    paths.push_back(folder + "/page-" + std::to_string(i) + ".pdf");
    WritePages(paths.back(), 1 + static_cast<int>(i % 3), static_cast<int>(i));
    pages += 1 + i % 3;
    bytes += fs::file_size(paths.back());
  }
  std::printf("pdfmisc benchmark: %s\n", Machine().c_str());
  std::printf("%zu files of 1 to 3 Letter pages, %zu pages, %.0f KB per file on average\n\n", files,
              pages, static_cast<double>(bytes) / 1024 / static_cast<double>(files));

  std::printf("%-30s %17s | %17s | %17s |  ours / theirs\n", "merge: median, peak RSS", "PDF_Merge",
              "qpdf --pages", "pdfunite");
  const std::string out = folder + "/merged.pdf";
  for (size_t n : sizes) {
    const int runs = quick ? 1 : n >= 2000 ? 1 : n >= 200 ? 3 : 7;
    const std::string list = Join(paths, n);
    std::vector<std::string> qpdf = {"qpdf", "--empty", "--pages"};
    std::vector<std::string> unite = {"pdfunite"};
    for (size_t i = 0; i < n; ++i) {
      qpdf.push_back(paths[i]);
      unite.push_back(paths[i]);
    }
    qpdf.insert(qpdf.end(), {"--", out});
    unite.push_back(out);
    const Figure ours =
        Measure(runs, [&] { return InChild([&] { return CallMerge(list, out); }); });
    const Figure byQpdf = Measure(runs, [&] { return Spawn(qpdf); });
    const Figure byUnite = Measure(runs, [&] { return Spawn(unite); });
    Row("merge " + std::to_string(n) + " files", {ours, byQpdf, byUnite}, {"qpdf", "pdfunite"});
  }

  const size_t counted = std::min<size_t>(200, files);
  std::printf("\n%-30s %17s | %17s |  ours / theirs\n", "page count", "PDF_PageCount",
              "qpdf --show-npages");
  const Figure countOurs = Measure(quick ? 1 : 5, [&] {
    return InChild([&] {
      for (size_t i = 0; i < counted; ++i) {
        int32_t n = 0, code = 0;
        char16_t* message = nullptr;
        PDF_PageCount(paths[i].c_str(), &n, &code, &message);
        FreePWChar(message);
        if (n < 1) return false;
      }
      return true;
    });
  });
  const Figure countQpdf = Measure(quick ? 1 : 5, [&] {
    Sample total;
    for (size_t i = 0; i < counted; ++i) {
      const Sample s = Spawn({"qpdf", "--show-npages", paths[i]});
      total.ms += s.ms;
      total.peakKb = std::max(total.peakKb, s.peakKb);
      total.ok = total.ok && s.ok;
    }
    return total;
  });
  Row("count " + std::to_string(counted) + " files", {countOurs, countQpdf}, {"qpdf"});

  // Footers on a 200-page document.
  const int footerPages = quick ? 20 : 200;
  std::string bigList;
  const std::string big = folder + "/big.pdf";
  {
    size_t got = 0;
    std::vector<std::string> chosen;
    for (size_t i = 0; got < static_cast<size_t>(footerPages); ++i) {
      chosen.push_back(paths[i % files]);
      got += 1 + (i % files) % 3;
    }
    CallMerge(Join(chosen, chosen.size()), big);
    // Trim to exactly footerPages pages.
    Spawn({"qpdf", big, "--pages", big, "1-" + std::to_string(footerPages), "--", big + ".t"});
    fs::rename(big + ".t", big);
  }
  const std::string footerPage = folder + "/footer.pdf";
  {
    cairo_surface_t* surface = cairo_pdf_surface_create(footerPage.c_str(), 612, 792);
    cairo_t* cr = cairo_create(surface);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);
    cairo_move_to(cr, 28, 750);
    cairo_show_text(cr, "Page 1 of 200 - a prebuilt footer");
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  const std::u16string parameters =
      u"<root><parameters><parameter name='footertext'>&lt;font size='2'&gt;Page $currentpage "
      u"of $totalpages&lt;/font&gt; - &lt;b&gt;stamped&lt;/b&gt;</parameter>"
      u"<parameter name='footerleft'>10</parameter><parameter name='footertop'>265</parameter>"
      u"<parameter name='footerwidth'>150</parameter></parameters></root>";
  const std::string work = folder + "/work.pdf";
  std::printf("\n%-30s %17s | %17s | %17s |  ours / theirs\n", "footers", "PDF_AddFooter",
              "qpdf --overlay", "qpdf rewrite");
  const int footerRuns = quick ? 1 : 7;
  const Figure footerOurs = Measure(footerRuns, [&] {
    fs::copy_file(big, work, fs::copy_options::overwrite_existing);
    return InChild([&] {
      int32_t code = 0;
      char16_t* message = nullptr;
      const int32_t ok =
          PDF_AddFooter(work.c_str(), parameters.c_str(), 1, footerPages, &code, &message);
      FreePWChar(message);
      return ok != 0;
    });
  });
  const Figure overlay = Measure(footerRuns, [&] {
    return Spawn({"qpdf", big, "--overlay", footerPage, "--repeat=1", "--", out});
  });
  const Figure rewrite = Measure(footerRuns, [&] { return Spawn({"qpdf", big, out}); });
  Row("footers on " + std::to_string(footerPages) + " pages", {footerOurs, overlay, rewrite},
      {"overlay", "rewrite"});

  fs::remove_all(folder);
  return 0;
}
