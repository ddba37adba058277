// The build's joining of the extension's modules into one script
// (packaging/join-modules.cmake), on small modules: what it stops on, and
// a joined script that keeps each module's names to itself.
import { test } from "node:test";
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import vm from "node:vm";
import { fileURLToPath } from "node:url";

const script = path.resolve(path.dirname(fileURLToPath(import.meta.url)), "../../packaging/join-modules.cmake");

function join(modules) {
  const folder = fs.mkdtempSync(path.join(os.tmpdir(), "join-"));
  for (const [file, text] of Object.entries(modules)) fs.writeFileSync(path.join(folder, file), text);
  const output = path.join(folder, "joined.js");
  const run = spawnSync(process.env.CMAKE || "cmake", [`-DSOURCE=${folder}`, "-DENTRY=main.js", `-DOUTPUT=${output}`, "-P", script], { encoding: "utf8" });
  const joined = run.status === 0 ? fs.readFileSync(output, "utf8") : null;
  fs.rmSync(folder, { recursive: true });
  return { joined, error: run.stderr.replace(/\s+/g, " ") };
}

const refusals = [
  ["a module that is not there", { "main.js": 'import { a } from "./gone.js";\n' }, "main.js imports gone.js, which does not exist"],
  ["a name not exported", { "main.js": 'import { b } from "./a.js";\n', "a.js": "export const a = 1;\n" }, "main.js imports b, which a.js does not export"],
  ["a name used through a namespace and not exported",
    { "main.js": 'import * as A from "./a.js";\nA.a();\nA.b();\n', "a.js": "export function a() {}\n" }, "main.js uses A.b, which a.js does not export"],
  ["a circle of imports", { "main.js": 'import { a } from "./a.js";\nexport const m = a;\n', "a.js": 'import { m } from "./main.js";\nexport const a = m;\n' },
    "a.js imports main.js, which imports it back"],
  ["an import of another form", { "main.js": 'import a from "./a.js";\n', "a.js": "export const a = 1;\n" }, 'cannot read "import a from "./a.js";"'],
  ["a module from elsewhere", { "main.js": 'import { a } from "../a.js";\n' }, "cannot read"],
];
for (const [situation, modules, error] of refusals) {
  test(`joining stops on ${situation}`, () => {
    const joined = join(modules);
    assert.equal(joined.joined, null);
    assert.ok(joined.error.includes(error), joined.error);
  });
}

test("the joined script runs each module once, in import order, with its own names", () => {
  const { joined, error } = join({
    "main.js": 'import { twice as double } from "./b.js";\nimport * as A from "./a.js";\nimport table from "./t.json";\n' +
      "const name = \"main\";\nglobalThis.out.push(`${name}:${double(A.one)}:${table.n}`);\n",
    "a.js": 'const name = "a";\nglobalThis.out.push(name);\nexport const one = 1;\n// a last line with no line end',
    "b.js": 'import { one } from "./a.js";\nconst name = "b";\nglobalThis.out.push(name + one);\nconst twice = (x) => 2 * x;\nexport { twice };\n',
    "t.json": '{ "n": 7 }\n',
  });
  assert.ok(joined, error);
  const context = { out: [] };
  vm.runInNewContext(joined, context);
  assert.deepEqual(context.out, ["a", "b1", "main:2:7"]);
});
