// Jobs driven through the client against the real backend and FFmpeg.
import assert from "node:assert/strict";
import { existsSync, readdirSync, readFileSync, realpathSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { pathToFileURL } from "node:url";
import { test } from "node:test";

import { makeRecording, scratchHome, startClient } from "./support.js";

test(
  "a cut, then an xml and an fcpxml export of its clip, each promise settling with the job's closing notice",
  { timeout: 60_000 },
  async (t) => {
    const home = scratchHome(t);
    const out = join(home, "Geschnitten");
    makeRecording(join(home, "take.mp4"), [1.0, 1.0, 2.0, 0.5]);
    const { client, problems } = await startClient(t, home);
    const seen = { log: 0, progress: 0 };
    client.on("log", () => (seen.log += 1));
    client.on("progress", () => (seen.progress += 1));

    await client.addCutFiles({ paths: [join(home, "take.mp4")] });
    const cut = await client.startCut({ output_folder: out });
    assert.deepEqual(cut, {
      event: "notify",
      title: "Cut Fertig",
      message:
        "1 von 1 Videos erfolgreich geschnitten. Die Videos wurden automatisch in Clips in Reihenfolge übertragen.",
    });
    const clip = join(out, "take_cut.mp4");
    const { mas_files, busy } = await client.getState();
    assert.deepEqual([mas_files, busy], [[clip], false]);

    const exported = await client.startExport({ mode: "xml" });
    const timeline = join(out, "davinci_timeline.xml");
    assert.deepEqual(exported, {
      event: "notify",
      title: "DaVinci XML fertig",
      message: `Gespeichert: ${timeline}`,
    });
    assert.ok(
      readFileSync(timeline, "utf8").includes(`${realpathSync(clip)}</pathurl>`),
      "the clip's URL",
    );
    assert.ok(seen.log > 10 && seen.progress > 10, JSON.stringify(seen));
    assert.equal(
      client.state.busy,
      false,
      "the export's closing state came before its promise settled",
    );

    const finalCut = await client.startExport({ mode: "fcpxml" });
    const document = join(out, "finalcut_timeline.fcpxml");
    assert.deepEqual(finalCut, {
      event: "notify",
      title: "Final Cut Pro XML fertig",
      message: `Gespeichert: ${document}`,
    });
    assert.ok(
      readFileSync(document, "utf8").includes(`src="${pathToFileURL(realpathSync(clip))}"`),
      "the clip's file URL",
    );
    assert.deepEqual(problems, []);
  },
);

test(
  "refused starts, failed commands and failed exports reject with what the backend said",
  { timeout: 60_000 },
  async (t) => {
    const home = scratchHome(t);
    const { client, problems } = await startClient(t, home);
    await assert.rejects(client.startCut(), {
      code: "refused",
      message: "Bitte zuerst Videos hinzufügen.",
    });

    // Not media: the export's probe fails and the job ends with "Fehler".
    writeFileSync(join(home, "broken.mp4"), "no video in here");
    await client.addMasterFiles({ paths: [join(home, "broken.mp4")] });
    await assert.rejects(client.startExport({ mode: "xml" }), (error) => {
      assert.equal(error.code, "failed");
      assert.match(error.message, /^ffprobe konnte die Videolänge nicht lesen: broken\.mp4/);
      return true;
    });
    await assert.rejects(client.startExport({ mode: 7 }), { code: "invalid" });
    await assert.rejects(client.moveMaster({ idx: "x" }), { code: "invalid" });
    assert.equal((await client.getState()).busy, false);

    // Without the schema check the backend itself refuses such a line.
    const { client: unchecked } = await startClient(t, home, { validate: false });
    await unchecked.addMasterFiles({ paths: [join(home, "broken.mp4")] });
    await assert.rejects(unchecked.startExport({ mode: 7 }), {
      code: "command",
      message: "start_export: Ungültiger Exportmodus: 7",
    });
    await assert.rejects(unchecked.moveMaster({ idx: "x" }), {
      code: "command",
      message: "move_master: Keine ganze Zahl: x",
    });
    assert.deepEqual((await unchecked.copySupportLog()).text, "[master] 1 Clip(s) hinzugefügt");
    assert.deepEqual(problems, []);
  },
);

test(
  "two callers at once: each gets its own answers while the other's export runs",
  { timeout: 60_000 },
  async (t) => {
    const home = scratchHome(t);
    const clips = ["a.mp4", "b.mp4", "c.mp4"].map((name) => join(home, name));
    for (const clip of clips) makeRecording(clip, [0.5]);
    const { client, problems } = await startClient(t, home);
    await client.addMasterFiles({ paths: clips });

    const exporting = client.startExport({ mode: "xml", output_folder: home });
    const other = (async () => {
      const refused = await client.startCut().catch((error) => error);
      await client.addCutFiles({ paths: [clips[0]] });
      await client.moveMaster({ idx: 0, direction: 2 });
      const state = await client.getState();
      const log = await client.copySupportLog();
      return { refused, state, log };
    })();
    const [exported, { refused, state, log }] = await Promise.all([exporting, other]);

    assert.equal(exported.title, "DaVinci XML fertig");
    assert.ok(existsSync(join(home, "davinci_timeline.xml")));
    assert.deepEqual(
      [refused.code, refused.message],
      ["refused", "Bitte warten, es läuft bereits ein Prozess."],
    );
    assert.deepEqual(state.cut_queue, [clips[0]]);
    assert.deepEqual(state.mas_files, [clips[2], clips[1], clips[0]]);
    assert.match(log.text, /\[cut\] 1 Datei\(en\) hinzugefügt/);
    assert.deepEqual(problems, []);
  },
);

test(
  "a cancel during the encode rejects the cut as cancelled and resolves once it has stopped",
  { timeout: 60_000 },
  async (t) => {
    const home = scratchHome(t);
    const out = join(home, "out");
    makeRecording(join(home, "take.mp4"), [4.0]);
    const { client, problems } = await startClient(t, home);
    await assert.rejects(client.cancel(), {
      code: "refused",
      message: "Es läuft kein Prozess, der abgebrochen werden kann.",
    });

    await client.addCutFiles({ paths: [join(home, "take.mp4")] });
    const encoding = new Promise((resolve) =>
      client.on("progress", ({ status }) => status.startsWith("Exportiere") && resolve()),
    );
    const cut = client.startCut({ output_folder: out });
    cut.catch(() => {});
    await encoding;
    const stopped = await client.cancel();
    assert.equal(stopped.busy, false);
    await assert.rejects(cut, {
      code: "cancelled",
      message:
        "Der Schnitt wurde abgebrochen. 0 von 1 Videos wurden geschnitten und automatisch in Clips in Reihenfolge übertragen.",
    });
    assert.deepEqual(readdirSync(out), [], "no clip, no partial clip");
    assert.deepEqual(problems, []);
  },
);
