// The extension's scripts and their tests, checked by ESLint in `make test`.
// Paths are from the repository's top, where the check runs:
//   tests/extension/node_modules/.bin/eslint -c tests/extension/eslint.config.mjs extension tests/extension
import js from "@eslint/js";
import globals from "globals";

export default [
  { ignores: ["tests/extension/node_modules/**"] },
  js.configs.recommended,
  {
    // Modules: a name used and not imported is a browser's global or an error.
    files: ["extension/**/*.js"],
    languageOptions: {
      ecmaVersion: 2022,
      sourceType: "module",
      globals: { ...globals.browser, ...globals.serviceworker, ...globals.webextensions },
    },
  },
  {
    // Runs in the page's own world, apart from the modules: a plain script.
    files: ["extension/page_world.js"],
    languageOptions: { sourceType: "script" },
  },
  {
    files: ["tests/extension/**/*.mjs"],
    // Functions handed to a browser tab run there: its globals are known.
    languageOptions: { ecmaVersion: 2022, sourceType: "module", globals: { ...globals.node, ...globals.browser, chrome: "readonly" } },
    // Expected texts match the program's indented JSON space for space.
    rules: { "no-regex-spaces": "off" },
  },
  {
    files: ["tests/extension/fake_chatgpt/*.js"],
    languageOptions: { ecmaVersion: 2022, sourceType: "module", globals: { ...globals.browser } },
  },
];
