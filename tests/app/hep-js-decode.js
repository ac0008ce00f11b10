// Reads HEP messages, one a line in hex on standard input, with hep-js and
// writes what it read of each as a line of JSON: an independent decoder for
// the HEP tests.
const hep = require("hep-js");
const lines = require("fs").readFileSync(0, "utf8").trim().split("\n");
for (const line of lines) {
    console.log(JSON.stringify(hep.decapsulate(Buffer.from(line, "hex")).rcinfo));
}
