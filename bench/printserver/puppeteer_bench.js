// Prints URLs to PDF with puppeteer-core and one warm browser (Debian's chromium), N pages at
// a time, a new page per URL. Usage: node puppeteer_bench.js <urls-file> <concurrency>
// <load|networkidle0> <out-dir>. Prints one JSON line: per-URL milliseconds and wall time.
const fs = require('fs');
const path = require('path');
const puppeteer = require('puppeteer-core');

async function main() {
  const [urlsFile, concurrencyText, waitUntil, outDir] = process.argv.slice(2);
  const urls = fs.readFileSync(urlsFile, 'utf8').split('\n').filter(Boolean);
  const concurrency = Number(concurrencyText);
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  const printOne = async (url, i) => {
    const t0 = process.hrtime.bigint();
    const page = await browser.newPage();
    await page.goto(url, {waitUntil});
    await page.pdf({path: path.join(outDir, `p${i}.pdf`), format: 'letter'});
    await page.close();
    return Number(process.hrtime.bigint() - t0) / 1e6;
  };
  for (let i = 0; i < 3; ++i) await printOne(urls[i], 1000 + i);  // warm-up
  const times = [];
  let next = 0;
  const start = process.hrtime.bigint();
  const worker = async () => {
    while (next < urls.length) {
      const i = next++;
      times.push(await printOne(urls[i], i));
    }
  };
  await Promise.all(Array.from({length: concurrency}, worker));
  const wallMs = Number(process.hrtime.bigint() - start) / 1e6;
  await browser.close();
  console.log(JSON.stringify({times, wallMs}));
}
main().catch(e => { console.error(e); process.exit(1); });
