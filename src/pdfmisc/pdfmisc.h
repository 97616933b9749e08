/*
 * libpdfmisc: page counts, merging and page-numbered footers for PDF files.
 *
 * Four functions with C linkage, usable from C and C++. Paths are zero-terminated UTF-8 (any
 * bytes the file system accepts); footer parameters and messages are zero-terminated UTF-16.
 * Every function returns nonzero on success and 0 on failure; on failure *errorCode holds one
 * of the PDFMISC_E_* codes below and *message a text that says what failed, on which file and
 * why (for example "cannot open '/x/a.pdf': No such file or directory").
 *
 * Messages: *message is set to NULL or to a text that the library allocated; the caller hands
 * every non-NULL message back with FreePWChar exactly once. A successful call sets *message to
 * NULL, or to a note on what the library repaired on the way (a damaged cross-reference table,
 * for example), which the caller may show or ignore but must free all the same.
 *
 * Robustness: no input makes a function crash, hang or throw. A missing, damaged, truncated,
 * encrypted or non-PDF file is a failure with a code and a message. A file that qpdf can repair
 * (a broken cross-reference table, a wrong page count in the page tree) is read as repaired and
 * the repair is logged on stderr; it is not a failure.
 *
 * Writes: output files are written to a temporary file in the destination folder and renamed
 * into place, so no reader ever sees a half-written file and a failure leaves any existing
 * file exactly as it was.
 *
 * Threads: every function may be called from any thread, also at the same time; calls share
 * only the process's font configuration.
 *
 * Logs: one line per event on stderr, prefixed "pdfmisc: " (repairs, font fallbacks, footers
 * moved to fit a page, long merges). PDFMISC_LOG=0 in the environment turns them off.
 */
#ifndef TOVRIK_PDFMISC_PDFMISC_H_
#define TOVRIK_PDFMISC_PDFMISC_H_

#include <stdint.h>
#include <uchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(PDFMISC_BUILDING)
#define PDFMISC_API __attribute__((visibility("default")))
#else
#define PDFMISC_API
#endif

/* Error codes (*errorCode). 0 is never set on failure. */
/* A NULL pointer argument, an empty path, an empty merge list or list entry, or a first page
 * that is not a page of the file. */
#define PDFMISC_E_INVALID_ARGUMENT 3001
/* An input file cannot be opened: it does not exist, is a directory or another kind of
 * non-regular file, or may not be read. */
#define PDFMISC_E_FILE_NOT_FOUND 3002
/* An input file is not a PDF file that can be read: empty, random bytes, truncated or damaged
 * beyond repair, or with a page tree that cannot be used. */
#define PDFMISC_E_NOT_PDF 3003
/* An input file is encrypted with a password that is needed to open it. */
#define PDFMISC_E_ENCRYPTED 3004
/* An output file cannot be written: the folder does not exist or may not be written, the disk
 * is full, or the final rename failed. Any existing file at the output path is unchanged. */
#define PDFMISC_E_WRITE_FAILED 3005
/* The footer parameters are not a well-formed record, or a number in them is not a number or
 * is out of range (the message names the parameter). */
#define PDFMISC_E_FOOTER_PARAMETERS 3006
/* The footer text could not be laid out or drawn (Pango, Cairo or fontconfig failed). */
#define PDFMISC_E_FOOTER_LAYOUT 3007
/* Memory ran out. */
#define PDFMISC_E_OUT_OF_MEMORY 3008
/* An unexpected failure inside the library; the message says what was caught. */
#define PDFMISC_E_INTERNAL 3009

/* Counts the pages of the PDF file at path. On success *pageCount holds the number of pages
 * (0 for a file without pages); on failure it is 0. */
PDFMISC_API int32_t PDF_PageCount(const char* path, int32_t* pageCount, int32_t* errorCode,
                                  char16_t** message);

/* Merges the PDF files of mergeList, paths joined by "?", into one new PDF file at outputPath:
 * all pages of the first file, then all pages of the second, and so on (a file may appear more
 * than once). The output's PDF version is the highest of the inputs. Page-level content and
 * annotations are kept; document-level structures (outlines, form fields, named destinations)
 * are not carried over. Holds at most one input file open at a time, so any number of files
 * can be merged; memory grows with the total size of the page content. outputPath may name one
 * of the inputs. */
PDFMISC_API int32_t PDF_Merge(const char* mergeList, const char* outputPath, int32_t* errorCode,
                              char16_t** message);

/* Stamps a footer onto every page from firstPage (1-based) to the last page of the PDF file at
 * path and rewrites the file in place (through a temporary file; on failure the file is
 * unchanged, and its permissions are kept). Pages before firstPage get no footer. totalPages
 * is the caller's count of the file's pages, used for $totalpages; 0 or less means "count
 * them". A footer text that is empty after its markup is removed leaves the file untouched.
 *
 * footerParameters is an XML record (UTF-16), as the worker writes it:
 *   <root><parameters><parameter name='NAME'>VALUE</parameter>...</parameters></root>
 * The root element's name is not examined; a parameter that is missing or empty takes its
 * default; a later parameter of the same name overrides an earlier one; unknown names are
 * ignored. The parameters:
 *
 *   footertext      The footer, HTML-like markup: <b>/<strong> bold, <i>/<em> italic, <u>
 *                   underline, <font size='N' face='F' color='#RRGGBB'> (size 1 to 7 as in
 *                   HTML: 8, 10, 12, 14, 18, 24, 36 pt, or "+N"/"-N" relative; default 3,
 *                   12 pt), <br> a line break, entities (&amp; &lt; &gt; &quot; &apos; &nbsp;
 *                   &#N; &#xN;). Unknown tags are dropped and their text kept; runs of blanks
 *                   and line ends count as one blank, as in HTML. "$currentpage" and
 *                   "$totalpages" (exact spelling) are replaced on each page by that page's
 *                   number and by the number of the last page. Lines wrap at word boundaries
 *                   to footerwidth.
 *   htmlfont_normal Font family of normal text. Empty: "Sans" (fontconfig's default sans-serif
 *                   family). A family that is not installed is replaced by fontconfig's best
 *                   match and the replacement is logged; it is not a failure.
 *   htmlfont_bold   Font family of bold runs (drawn with bold weight); empty: htmlfont_normal.
 *   htmlfont_italic Font family of italic runs (drawn italic); empty: htmlfont_normal. A run
 *                   both bold and italic takes htmlfont_bold.
 *   footerleft      Distance in millimetres from the left edge of the page to the left edge of
 *                   the footer box. Empty: 15.
 *   footertop       Distance in millimetres from the top edge of the page to the top of the
 *                   footer's first line. Empty: 20 mm above the bottom edge of each page.
 *   footerwidth     Width in millimetres of the footer box; text wraps inside it. Empty: the
 *                   page width less footerleft and 15 mm.
 *                   All three are decimal numbers ("10", "10.5", "10,5"), 0 to 10000, width
 *                   above 0. Each page is measured by its own crop box as it is shown, after
 *                   its /Rotate: left and top are the viewer's left and top, so mixed sizes,
 *                   landscape and rotated pages all carry the footer at the same place relative
 *                   to the top-left corner. Where the box would not fit a page (a footertop of
 *                   270 mm on a landscape page 210 mm high), it is narrowed to the page's width
 *                   and moved up to end 5 mm above the bottom edge, and this is logged.
 *   startnumber     The page number of page firstPage when includecontextinnumbering is not
 *                   "1". An integer; empty: 1.
 *   includecontextinnumbering
 *                   "1": the unstamped pages before firstPage are counted, so page firstPage
 *                   shows startnumber + firstPage - 1 (with the default startnumber, every
 *                   page shows its position in the file). Any other value: they are not.
 *                   On page p: $currentpage = startnumber + (p - firstPage) + offset, and
 *                   $totalpages = the same for p = totalPages, where offset is firstPage - 1
 *                   when the context is counted and 0 otherwise.
 *   createcontext   Accepted for the worker's record and ignored: this library creates no
 *                   contents pages; a caller that wants them puts them into the file first.
 */
PDFMISC_API int32_t PDF_AddFooter(const char* path, const char16_t* footerParameters,
                                  int32_t firstPage, int32_t totalPages, int32_t* errorCode,
                                  char16_t** message);

/* Releases a message that one of the functions above returned. Returns nonzero when the text
 * was released; 0 for NULL and for a pointer that is not an outstanding message (which is then
 * left alone rather than corrupting the heap). */
PDFMISC_API int32_t FreePWChar(char16_t* message);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* TOVRIK_PDFMISC_PDFMISC_H_ */
