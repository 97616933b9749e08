// tovrik site: serves the published site of the content store on loopback.

#include <pthread.h>
#include <signal.h>

#include <iostream>
#include <thread>

#include "cli/Commands.h"
#include "contentserver/SiteServer.h"

namespace tovrik::cli {

void AddSiteCommand(CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "site",
      "Serve the published site of the content store on 127.0.0.1: default.asp?id=N, "
      "default_pdfget.asp?id=N and file.asp?id=N. The first line on stdout is the site's URL.");
  struct Options {
    int port = 0;
    bool setSiteURL = false;
    std::string server;
  };
  auto options = std::make_shared<Options>();
  cmd->add_option("--port", options->port, "port to listen on; 0 picks a free one")
      ->check(CLI::Range(0, 65535));
  cmd->add_flag("--set-site-url", options->setSiteURL,
                "write the site's URL into the store's setting SiteURL");
  cmd->add_option("--server", options->server,
                  "content server: empty for the embedded store, a host name (database tovrik "
                  "on it) or a postgresql:// URI");
  cmd->callback([options] {
    try {
      StoreOpener open = StoreOpenerFor(options->server);
      const std::string location = open()->Location();  // creates the store when missing
      SiteServer site(open);
      const int port = site.Bind("127.0.0.1", options->port);
      const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
      if (options->setSiteURL) open()->WriteSetting("SiteURL", url);
      std::cout << url << std::endl;
      std::cerr << "tovrik site: serving " << location << " at " << url << "\n";

      // SIGINT and SIGTERM stop the server; they are taken by one thread with sigwait.
      sigset_t stopSignals;
      sigemptyset(&stopSignals);
      sigaddset(&stopSignals, SIGINT);
      sigaddset(&stopSignals, SIGTERM);
      pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
      std::thread waiter([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        site.Stop();
      });
      site.Run();
      pthread_kill(waiter.native_handle(), SIGTERM);  // wakes the waiter if Run ended first
      waiter.join();
      std::cerr << "tovrik site: stopped\n";
    } catch (const std::exception& e) {
      std::cerr << "tovrik site: " << e.what() << "\n";
      ExitCode() = 1;
    }
  });
}

}  // namespace tovrik::cli
