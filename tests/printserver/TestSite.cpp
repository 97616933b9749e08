#include "printserver/TestSite.h"

#include <cairo.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace tovrik::testing {
namespace {

const char* kWords[] = {"printing", "document",  "archive", "worker", "queue",   "server",
                        "content",  "category",  "footer",  "page",   "browser", "network",
                        "merge",    "paragraph", "table",   "figure", "report",  "history"};

std::string Sentence(int seed, int words) {
  std::string s;
  for (int i = 0; i < words; ++i) {
    const char* w = kWords[(seed * 7 + i * 13) % (sizeof kWords / sizeof *kWords)];
    s += (i == 0 ? std::string(1, static_cast<char>(w[0] - 32)) + (w + 1) : std::string(" ") + w);
  }
  return s + ".";
}

std::string Paragraph(int seed) {
  std::string p = "<p>";
  for (int i = 0; i < 6; ++i) p += Sentence(seed + i, 9 + (seed + i) % 7) + " ";
  return p + "</p>\n";
}

std::string Article(int n) {
  std::string html =
      "<!DOCTYPE html><html><head><meta charset='utf-8'><title>Article " + std::to_string(n) +
      "</title><link rel='stylesheet' href='/style.css'></head><body>\n<h1>Article " +
      std::to_string(n) + ": " + Sentence(n, 5) + "</h1>\n";
  for (int section = 0; section < 4; ++section) {
    html += "<h2>Section " + std::to_string(section + 1) + "</h2>\n";
    for (int p = 0; p < 3; ++p) html += Paragraph(n * 31 + section * 5 + p);
    if (section == 0) {
      html += "<ul>";
      for (int i = 0; i < 6; ++i) html += "<li>" + Sentence(n + i, 6) + "</li>";
      html += "</ul>\n<img src='/picture.png' alt='picture' width='320' height='160'>\n";
    } else if (section == 1) {
      html += "<table><tr><th>Item</th><th>Count</th><th>Note</th></tr>";
      for (int i = 0; i < 10; ++i) {
        html += "<tr><td>Row " + std::to_string(i + 1) + "</td><td>" +
                std::to_string((n * 17 + i * 29) % 1000) + "</td><td>" + Sentence(i + n, 4) +
                "</td></tr>";
      }
      html += "</table>\n";
    } else if (section == 2) {
      html += "<svg width='400' height='120' xmlns='http://www.w3.org/2000/svg'>";
      for (int i = 0; i < 8; ++i) {
        int h = 20 + (n * 13 + i * 37) % 90;
        html += "<rect x='" + std::to_string(10 + i * 48) + "' y='" + std::to_string(115 - h) +
                "' width='36' height='" + std::to_string(h) + "' fill='#3a7bd5'/>";
      }
      html += "</svg>\n";
    }
  }
  return html + "<p class='end'>End of article " + std::to_string(n) + "</p></body></html>";
}

const char* kStyle =
    "body{font-family:'DejaVu Serif',serif;font-size:12pt;line-height:1.5;margin:0 1em}"
    "h1{color:#1d3557;font-family:'DejaVu Sans',sans-serif}h2{color:#457b9d;margin-top:1.2em}"
    "table{border-collapse:collapse;width:100%}td,th{border:1px solid #999;padding:3px 6px}"
    "th{background:#e9ecef}img{display:block;margin:1em 0}";

std::string MakePng() {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 320, 160);
  cairo_t* cr = cairo_create(surface);
  cairo_pattern_t* gradient = cairo_pattern_create_linear(0, 0, 320, 160);
  cairo_pattern_add_color_stop_rgb(gradient, 0, 0.9, 0.3, 0.2);
  cairo_pattern_add_color_stop_rgb(gradient, 1, 0.2, 0.4, 0.9);
  cairo_set_source(cr, gradient);
  cairo_paint(cr);
  cairo_pattern_destroy(gradient);
  cairo_destroy(cr);
  std::string png;
  cairo_surface_write_to_png_stream(
      surface,
      [](void* closure, const unsigned char* data, unsigned int length) {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
        return CAIRO_STATUS_SUCCESS;
      },
      &png);
  cairo_surface_destroy(surface);
  return png;
}

std::string Filler(int from, int count) {
  std::string s;
  for (int i = from; i < from + count; ++i) s += Paragraph(i);
  return s;
}

}  // namespace

struct TestSite::Impl {
  httplib::Server server;
  std::thread thread;
  int port = 0;
  std::mutex mutex;
  std::condition_variable stopped;
  bool stopping = false;  // guarded by mutex
  std::atomic<int> lazyRequests{0};
  const std::string png = MakePng();

  // Blocks a handler until the site stops or the time passes.
  void Stall(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex);
    stopped.wait_for(lock, limit, [&] { return stopping; });
  }
};

TestSite::TestSite() : impl_(std::make_unique<Impl>()) {
  Impl& s = *impl_;
  auto html = [](httplib::Response& res, const std::string& body) {
    res.set_content(body, "text/html; charset=utf-8");
  };
  s.server.Get(R"(/article/(\d+))", [html](const httplib::Request& req, httplib::Response& res) {
    html(res, Article(std::stoi(req.matches[1])));
  });
  s.server.Get("/style.css", [](const httplib::Request&, httplib::Response& res) {
    res.set_content(kStyle, "text/css");
  });
  s.server.Get("/picture.png", [&s](const httplib::Request&, httplib::Response& res) {
    res.set_content(s.png, "image/png");
  });
  s.server.Get("/twopages", [html](const httplib::Request&, httplib::Response& res) {
    html(res,
         "<!DOCTYPE html><html><head><title>Two pages</title></head><body>"
         "<h1>Page one marker</h1>" +
             Filler(1, 3) + "<h1 style='break-before:page'>Page two marker</h1>" + Filler(10, 3) +
             "</body></html>");
  });
  s.server.Get("/titled", [html](const httplib::Request&, httplib::Response& res) {
    html(res,
         "<!DOCTYPE html><html><head><title>Own title</title></head><body><p>Short "
         "page.</p></body></html>");
  });
  s.server.Get("/slow", [&s, html](const httplib::Request&, httplib::Response& res) {
    s.Stall(std::chrono::milliseconds(120000));
    html(res, "<p>late</p>");
  });
  s.server.Get("/never.png", [&s](const httplib::Request&, httplib::Response& res) {
    s.Stall(std::chrono::milliseconds(120000));
    res.set_content(s.png, "image/png");
  });
  s.server.Get("/stalled-image", [html](const httplib::Request&, httplib::Response& res) {
    html(res, "<p>Waiting for a picture</p><img src='/never.png'>");
  });
  s.server.Get("/lazy.png", [&s](const httplib::Request&, httplib::Response& res) {
    ++s.lazyRequests;
    res.set_content(s.png, "image/png");
  });
  s.server.Get("/lazy", [html](const httplib::Request&, httplib::Response& res) {
    html(res, "<!DOCTYPE html><html><body><h1>Lazy picture below</h1>" + Filler(1, 12) +
                  "<img loading='lazy' src='/lazy.png' width='320' height='160'>"
                  "<p>After the picture</p></body></html>");
  });
  s.server.Get("/cookie-set", [html](const httplib::Request&, httplib::Response& res) {
    res.set_header("Set-Cookie", "jobsecret=leaked; Path=/");
    html(res, "<p>cookie set</p>");
  });
  s.server.Get("/cookie-show", [html](const httplib::Request& req, httplib::Response& res) {
    std::string cookies = req.get_header_value("Cookie");
    html(res, "<p>cookies: [" + (cookies.empty() ? std::string("none") : cookies) + "]</p>");
  });
  // Leaves data in every place a page can write to, then shows what it finds there: a job
  // that sees "[none]" three times saw nothing of an earlier job.
  s.server.Get("/storage-set", [html](const httplib::Request&, httplib::Response& res) {
    html(res,
         "<p>storage set</p><script>localStorage.setItem('jobsecret', 'leaked');"
         "sessionStorage.setItem('jobsecret', 'leaked');"
         "document.cookie = 'scriptsecret=leaked; path=/';</script>");
  });
  s.server.Get("/storage-show", [html](const httplib::Request&, httplib::Response& res) {
    html(res,
         "<p id='shown'></p><script>document.getElementById('shown').textContent ="
         " 'local: [' + (localStorage.getItem('jobsecret') || 'none') + '] session: [' +"
         " (sessionStorage.getItem('jobsecret') || 'none') + '] cookie: [' +"
         " (document.cookie || 'none') + ']';</script>");
  });
  // Content fetched only after the load event, from a slow answer: printing before it
  // arrives leaves "waiting" in the PDF.
  s.server.Get("/late-data", [&s](const httplib::Request&, httplib::Response& res) {
    s.Stall(std::chrono::milliseconds(400));
    res.set_content("late data arrived", "text/plain");
  });
  s.server.Get("/late-fetch", [html](const httplib::Request&, httplib::Response& res) {
    html(res,
         "<p id='late'>waiting</p><script>addEventListener('load', () => fetch('/late-data')"
         ".then(r => r.text()).then(t => { document.getElementById('late').textContent = t; "
         "}));</script>");
  });
  s.server.Get("/missing", [html](const httplib::Request&, httplib::Response& res) {
    res.status = 404;
    html(res, "<h1>Not here</h1>");
  });
  s.port = s.server.bind_to_any_port("127.0.0.1");
  if (s.port <= 0) throw std::runtime_error("test site: cannot bind a loopback port");
  s.thread = std::thread([&s] { s.server.listen_after_bind(); });
  // stop() only works once the server runs.
  while (!s.server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TestSite::~TestSite() {
  {
    std::scoped_lock lock(impl_->mutex);
    impl_->stopping = true;
  }
  impl_->stopped.notify_all();
  impl_->server.stop();
  if (impl_->thread.joinable()) impl_->thread.join();
}

int TestSite::port() const { return impl_->port; }

std::string TestSite::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(impl_->port) + path;
}

int TestSite::LazyImageRequests() const { return impl_->lazyRequests.load(); }

}  // namespace tovrik::testing
