// The panel's page: it takes the run's token from its address, whose fragment the browser never
// sends, and asks the interface with it.
const token = new URLSearchParams(location.hash.slice(1)).get("token");
document.getElementById("status").textContent = token
  ? "Connected to the panel."
  : "Open the address the panel printed, with its token.";
