#include "cli/DemoContent.h"

#include <cairo.h>

namespace tovrik::cli {

const std::vector<DemoDocument>& DemoDocuments() {
  static const std::vector<DemoDocument> documents = {
      {"Tovrik handbok",
       "<p><em>Handbok för redaktörer &mdash; A handbook for editors</em></p>"
       "<p>Den här handboken skrevs ut av Tovriks PDF-tjänst: varje kapitel är en sida på den "
       "publicerade webbplatsen, utskriven till PDF, sammanfogad och försedd med sidfot.</p>"
       "<p>This handbook was printed by the Tovrik PDF worker: every chapter is a page of the "
       "published site, printed to PDF, merged, and stamped with a page-numbered footer.</p>"},
      {"1. Att komma igång / Getting started",
       "<p>Logga in i redigeringsläget och välj det dokument du vill ändra. Ändringar sparas "
       "som utkast tills du publicerar dem. Åäö och ÅÄÖ fungerar som väntat i rubriker och "
       "brödtext.</p>"
       "<h2>Getting started</h2>"
       "<p>Sign in to the editor and choose the document you want to change. Changes are kept "
       "as drafts until you publish them. Every published page can be printed to PDF from the "
       "queue, alone or together with the pages below it.</p>"
       "<ul><li>Skapa dokument / create documents</li><li>Publicera / publish</li>"
       "<li>Skriv ut till PDF / print to PDF</li></ul>"},
      {"2. Publiceringsflöde / Publishing workflow",
       "<p>Varje dokument går igenom stegen nedan. Tabellen visar vem som gör vad.</p>"
       "<table><thead><tr><th>Steg / Step</th><th>Roll / Role</th><th>Tid / Time</th></tr>"
       "</thead><tbody>"
       "<tr><td>Utkast / Draft</td><td>Redaktör / Editor</td><td>1&ndash;2 dagar</td></tr>"
       "<tr><td>Granskning / Review</td><td>Ansvarig utgivare / Publisher</td>"
       "<td>1 dag</td></tr>"
       "<tr><td>Publicering / Publishing</td><td>Systemet / The system</td>"
       "<td>Direkt / At once</td></tr>"
       "<tr><td>PDF-utskrift / PDF print</td><td>PDF-tjänsten / The PDF worker</td>"
       "<td>Sekunder / Seconds</td></tr>"
       "</tbody></table>"
       "<p>The PDF worker takes one job at a time from the queue and reports its outcome back, "
       "so an editor can always see whether a print succeeded and why not.</p>"},
      {"3. Statistik / Statistics",
       "<p>Diagrammet visar antalet utskrivna sidor per månad under året.</p>"
       "<p><img src=\"file.asp?id=$IMAGE\" alt=\"Utskrivna sidor per månad\"></p>"
       "<p>The chart shows the number of printed pages per month. The picture is served by the "
       "site like any other stored document and printed at the resolution the job asks for."
       "</p>"},
  };
  return documents;
}

std::vector<uint8_t> DemoPicturePng() {
  const int width = 640, height = 320;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  const double values[] = {32, 45, 51, 40, 62, 70, 38, 44, 80, 91, 77, 95};
  for (int i = 0; i < 12; ++i) {
    const double h = values[i] * 2.6;
    cairo_set_source_rgb(cr, 0.16, 0.38 + i * 0.03, 0.62);
    cairo_rectangle(cr, 30 + i * 50, height - 30 - h, 36, h);
    cairo_fill(cr);
  }
  cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
  cairo_set_line_width(cr, 2);
  cairo_move_to(cr, 20, height - 30);
  cairo_line_to(cr, width - 10, height - 30);
  cairo_stroke(cr);
  cairo_destroy(cr);

  std::vector<uint8_t> png;
  cairo_surface_write_to_png_stream(
      surface,
      [](void* closure, const unsigned char* data, unsigned int length) {
        auto* out = static_cast<std::vector<uint8_t>*>(closure);
        out->insert(out->end(), data, data + length);
        return CAIRO_STATUS_SUCCESS;
      },
      &png);
  cairo_surface_destroy(surface);
  return png;
}

}  // namespace tovrik::cli
