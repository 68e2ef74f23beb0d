// An independent OpenRGB SDK client (the npm package openrgb-sdk) against
// lumenstra-cli serve: lists the controllers, sets a static colour on the
// first and per-LED colours on the second, then hears a third one arrive.
// Prints one JSON object with what it saw.
// Usage: node sdk-client.js PORT DEVSIM SOCKET
"use strict";
const path = require("path");
const { execFileSync } = require("child_process");
const net = require("net");
const { Client } = require(path.join(__dirname, "node_modules", "openrgb-sdk"));

const [port, devsim, socket] = process.argv.slice(2);

function describe(device) {
    return {
        name: device.name,
        type: device.type,
        vendor: device.vendor,
        serial: device.serial,
        location: device.location,
        activeMode: device.modes[device.activeMode].name,
        modes: device.modes.map((mode) => mode.name),
        zones: device.zones.map((zone) => ({ name: zone.name, leds: zone.ledsCount })),
        leds: device.leds.length,
    };
}

function withTimeout(promise, what) {
    return Promise.race([
        promise,
        new Promise((_, reject) => setTimeout(() => reject(new Error(what + " timed out")), 30000)),
    ]);
}

async function main() {
    const client = new Client("lumenstra end-to-end", Number(port), "127.0.0.1");
    await withTimeout(client.connect(20000), "connect");
    const seen = { protocol: client.protocolVersion };
    seen.before = (await client.getAllControllerData()).map(describe);

    const staticMode = { name: "Static", colors: [{ red: 255, green: 0, blue: 0 }], brightness: 2 };
    await client.saveMode(0, staticMode);

    await client.updateMode(1, { name: "Direct" });
    const colours = [];
    for (let led = 0; led < 17; ++led) colours.push({ red: led, green: 0x80, blue: 0xff - led });
    client.updateLeds(1, colours);
    client.updateSingleLed(1, 16, { red: 0x12, green: 0x34, blue: 0x56 });
    // Answered after the writes above: the server handles a client's packets in order.
    await client.getControllerCount();
    seen.after = (await client.getAllControllerData()).map(describe);
    seen.afterColours = (await client.getControllerData(1)).colors;

    // The package drops a packet without data that comes while it awaits no
    // answer, so a plain connection listens for the announcement.
    const listener = net.connect(Number(port), "127.0.0.1");
    await withTimeout(new Promise((resolve) => listener.once("connect", resolve)), "second connection");
    const announced = new Promise((resolve) => {
        let bytes = Buffer.alloc(0);
        listener.on("data", (data) => {
            bytes = Buffer.concat([bytes, data]);
            if (bytes.length >= 16) resolve(bytes.subarray(0, 16).toString("hex"));
        });
    });
    execFileSync(devsim, ["plug", "--socket", socket, "standard,name=Third"]);
    seen.announcement = await withTimeout(announced, "device list update");
    listener.destroy();
    seen.countAfterPlug = await client.getControllerCount();
    client.disconnect();
    process.stdout.write(JSON.stringify(seen) + "\n");
}

main().catch((error) => {
    process.stderr.write("sdk-client: " + (error && error.stack ? error.stack : error) + "\n");
    process.exit(1);
});
