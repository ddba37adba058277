// What stops a job on ChatGPT's page, whatever the job is doing: a browser
// check, a login or usage-limit dialog, an error in place of an answer, a
// page for visitors or for a logged-out user. Each is named, with the
// landmark that showed it. Built on the landmarks (landmarks.js).

import { shown, firstShown, byWords, label, words as WORDS, selectors } from "./landmarks.js";
import { locateComposer } from "./composer_landmarks.js";
import { visibleText } from "./text.js";

const { exchange: EXCHANGE, author: AUTHOR, messageTurn: MESSAGE_TURN } = selectors;

// What only ChatGPT's own application shows; a browser check shows none of it.
const APP_SHELL = `#thread, ${EXCHANGE}, ${AUTHOR}, nav, [data-conversation-transcript], [data-logged-out]`;

// Not "regenerate": answers that went well offer that in their action bar.
const ERROR_ANSWER = [".text-token-text-error", '[data-testid*="error"]', '[data-testid*="retry"]'];
const RATE_LIMIT = ['[data-testid*="rate-limit"]', '[data-testid*="usage-limit"]', "#no-auth-soft-rate-limit-dialog"];
// The signed-out page's "Unable to connect. Retry" in place of an answer.
const RECOVERY_RETRY = "button[data-conversation-recovery-retry]";
// What only the signed-out page shows.
const SIGNED_OUT = "[data-logged-out], button[data-login-button]";
// The signed-out page's dialog that asks the visitor to log in.
const LOGIN_MODAL = "#modal-no-auth-login";
const NOTICE = '[role="alert"], [role="status"], [data-testid*="toast"], [data-testid*="banner"]';
const DIALOG = 'dialog[open], [role="dialog"], [role="alertdialog"]';
const LOGIN = ['[data-testid="login-button"]', '[data-testid="signup-button"]', "button[data-login-button]", 'a[href*="/auth/login"]',
  'a[href*="/log-in"]'];
// A browser check's own widgets. Cloudflare's bot-management script
// (/cdn-cgi/challenge-platform/…) is on every healthy page too, so it
// counts only on a short page without the application that stays so.
const CHALLENGE_WIDGET = ["#challenge-form", "#challenge-running", "#cf-challenge-running", "#challenge-stage",
  'iframe[src*="challenges.cloudflare.com"]', 'form[action*="__cf_chl"]', ".cf-turnstile",
  'input[name="cf-turnstile-response"]'];
const CHALLENGE_SCRIPT = 'script[src*="/cdn-cgi/challenge-platform/"]';
const CHALLENGE_GRACE_MS = 3000;
const SHORT_PAGE = 2000;

// An error shown in place of (or after) an answer, with its retry button.
function answerError(scope) {
  const marked = firstShown(ERROR_ANSWER, scope);
  if (marked) return (marked.parentElement || marked).textContent.trim().slice(0, 200) || label(marked);
  // By words: a retry button beside a message. A button among other
  // buttons only (an answer's action bar may offer "Regenerate") is not one.
  const retry = byWords(scope, "button", WORDS.retry);
  if (!retry) return null;
  const message = visibleText(retry.parentElement).trim();
  return message || null;
}

function appShell() {
  return Boolean(locateComposer() || document.querySelector(APP_SHELL));
}

// A browser check: its title or widget counts at once; the challenge
// script alone only on a short page without the application, once that
// has lasted past a grace period (the application may still be loading).
let challengeScriptSince = 0;
function challenge() {
  if (appShell()) {
    challengeScriptSince = 0;
    return null;
  }
  if (WORDS.challengeTitle.test(document.title.trim())) return "challenge title";
  if (document.querySelector(CHALLENGE_WIDGET.join(","))) return "challenge widget";
  const short = ((document.body && document.body.innerText) || "").length < SHORT_PAGE;
  if (!short || !document.querySelector(CHALLENGE_SCRIPT)) {
    challengeScriptSince = 0;
    return null;
  }
  challengeScriptSince = challengeScriptSince || Date.now();
  return Date.now() - challengeScriptSince >= CHALLENGE_GRACE_MS ? "challenge script on a page without ChatGPT" : null;
}

// Situations of the whole page that stop a job: each is named, with the
// landmark that showed it.
function pageBlocker() {
  const check = challenge();
  if (check) return { situation: "ChatGPT shows a browser check (challenge page); complete it in this tab", landmark: `challenge page (${check})` };
  if (firstShown([LOGIN_MODAL])) return { situation: "ChatGPT asks you to log in; log in in this browser", landmark: "login dialog" };
  const retry = firstShown([RECOVERY_RETRY]);
  if (retry) {
    const said = (retry.getAttribute("aria-description") || label(retry)).slice(0, 200);
    return { situation: `ChatGPT could not answer: "${said}"`, landmark: "connection retry button" };
  }
  for (const dialog of document.querySelectorAll(DIALOG)) {
    if (!shown(dialog)) continue;
    if (firstShown(LOGIN, dialog) || byWords(dialog, "button, a", WORDS.login))
      return { situation: "ChatGPT asks you to log in; log in in this browser", landmark: "login dialog" };
  }
  // A notice of the page's own, not text inside the conversation (an
  // answer may well speak of limits).
  const limit = firstShown(RATE_LIMIT) || Array.from(document.querySelectorAll(NOTICE)).find(
    (notice) => shown(notice) && !notice.closest(`${EXCHANGE}, ${AUTHOR}, ${MESSAGE_TURN}`) &&
      WORDS.limit.test(notice.textContent));
  if (limit) return { situation: `ChatGPT shows a usage limit notice: "${limit.textContent.trim().slice(0, 200)}"`, landmark: "rate-limit notice" };
  return null;
}

// The page for visitors without an account, where no file can be attached.
function signedOut() {
  return Boolean(firstShown([SIGNED_OUT]));
}

// A logged-out page: no composer, but a way to log in.
function loggedOut() {
  return Boolean(firstShown(LOGIN) || byWords(document, "header button, header a, nav button, nav a", WORDS.login));
}
export { answerError, pageBlocker, loggedOut, signedOut, appShell };
