// A script that closes its element early.
const html = "</SCRIPT><p>";
