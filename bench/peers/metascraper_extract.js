// Peer driver: metascraper (title, description, image, publisher = site name,
// author) on an HTML file. Usage: node metascraper_extract.js FILE URL SECONDS [--print]
// Prints "MBPS <rate> RUNS <n> SECONDS <t>" and, with --print, the fields as JSON.
'use strict'
process.env.METASCRAPER_RE2 = process.env.METASCRAPER_RE2 || 'false'
const fs = require('fs')
const path = require('path')
const modules = path.join(__dirname, '..', 'node_modules')
const metascraper = require(path.join(modules, 'metascraper'))([
  require(path.join(modules, 'metascraper-title'))(),
  require(path.join(modules, 'metascraper-description'))(),
  require(path.join(modules, 'metascraper-image'))(),
  require(path.join(modules, 'metascraper-publisher'))(),
  require(path.join(modules, 'metascraper-author'))()
])

async function main () {
  const [file, url, secondsText, flag] = process.argv.slice(2)
  const seconds = Number(secondsText || '2')
  const size = fs.statSync(file).size
  let runs = 0
  let result
  const start = process.hrtime.bigint()
  let elapsed = 0
  do {
    const html = fs.readFileSync(file, 'utf8')
    result = await metascraper({ html, url, validateUrl: false })
    runs++
    elapsed = Number(process.hrtime.bigint() - start) / 1e9
  } while (elapsed < seconds)
  console.log(`MBPS ${(size * runs / elapsed / 1e6).toFixed(2)} RUNS ${runs} SECONDS ${elapsed.toFixed(3)}`)
  if (flag === '--print') {
    console.log(JSON.stringify({
      title: result.title ?? null,
      description: result.description ?? null,
      image: result.image ?? null,
      siteName: result.publisher ?? null,
      author: result.author ?? null
    }))
  }
}

main().catch(error => { console.error(String(error && error.stack || error)); process.exit(2) })
