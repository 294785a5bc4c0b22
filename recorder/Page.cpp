// The page the recorder serves at "/": plain HTML, CSS and script, nothing
// fetched from elsewhere; the figures come from /api/v1/now each second.
#include "recorder/Server.h"

namespace vx::recorder {

const char* const kPage = R"PAGE(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>vxstat</title>
<style>
:root{color-scheme:light dark;--bg:#f6f7f9;--fg:#1b1e23;--muted:#5d6571;--card:#fff;--in:#1f7a3a;--out:#b3261e;--bar:#d9dde3}
@media (prefers-color-scheme:dark){:root{--bg:#15181c;--fg:#e6e8eb;--muted:#9aa3ad;--card:#1f2329;--in:#5fd17f;--out:#ff8a80;--bar:#333a43}}
*{box-sizing:border-box}body{margin:0;font:16px/1.4 system-ui,sans-serif;background:var(--bg);color:var(--fg)}
main{max-width:44rem;margin:0 auto;padding:1rem}h1{font-size:1.1rem;margin:0 0 .2rem}
#status{color:var(--muted);font-size:.9rem;margin:0 0 1rem}
.grid{display:grid;grid-template-columns:repeat(auto-fit,minmax(9.5rem,1fr));gap:.6rem}
.card{background:var(--card);border-radius:.5rem;padding:.7rem .8rem}
.label{color:var(--muted);font-size:.8rem}.big{font-size:1.45rem;white-space:nowrap;font-variant-numeric:tabular-nums}
.in{color:var(--in)}.out{color:var(--out)}
#quotabar{height:.5rem;background:var(--bar);border-radius:.25rem;overflow:hidden;margin-top:.4rem}
#quotafill{height:100%;width:0;background:var(--in)}
#chart{display:flex;align-items:flex-end;gap:2px;height:9rem;margin-top:.5rem}
#chart div{flex:1;background:var(--in);min-height:1px;border-radius:2px 2px 0 0}
</style></head><body><main>
<h1 id="router">vxstat</h1><p id="status">Waiting for the recorder</p>
<div class="grid">
<div class="card"><div class="label">Receiving</div><div class="big in" id="rin">--</div></div>
<div class="card"><div class="label">Sending</div><div class="big out" id="rout">--</div></div>
<div class="card"><div class="label">Today</div><div id="today">--</div></div>
<div class="card"><div class="label">Counted in all</div><div id="totals">--</div></div>
<div class="card"><div class="label">This billing month</div><div id="month">--</div>
<div id="quota" class="label"></div><div id="quotabar" hidden><div id="quotafill"></div></div></div>
</div>
<div class="card" style="margin-top:.6rem"><div class="label">The last 24 hours</div><div id="chart"></div></div>
</main>
<script>
"use strict";
const $=id=>document.getElementById(id);
function bytes(n){const u=["B","KB","MB","GB","TB"];let i=0;while(n>=1024&&i<u.length-1){n/=1024;i++}return n.toFixed(i?2:0)+" "+u[i]}
function rate(n){return n==null?"--":bytes(n)+"/s"}
function both(b){return b?bytes(b.in)+" in, "+bytes(b.out)+" out":"--"}
async function update(){
 try{
  const r=await fetch("/api/v1/now",{cache:"no-store",credentials:"same-origin"});
  if(!r.ok)throw new Error("HTTP "+r.status);
  const n=await r.json();
  $("router").textContent=n.router+" ("+n.source+")";
  $("status").textContent=n.up?"Reading the router":(n.status||"The router does not answer");
  $("rin").textContent=rate(n.rates&&n.rates.in);$("rout").textContent=rate(n.rates&&n.rates.out);
  $("today").textContent=both(n.today);$("totals").textContent=both(n.totals);$("month").textContent=both(n.month);
  if(n.quota){const p=Math.min(n.quota.used,1)*100;$("quota").textContent=(n.quota.used*100).toFixed(0)+" % of "+bytes(n.quota.bytes);
   $("quotabar").hidden=false;$("quotafill").style.width=p+"%"}
  const h=n.hours||[],max=Math.max(1,...h.map(b=>b.in+b.out)),c=$("chart");
  c.replaceChildren(...h.map(b=>{const d=document.createElement("div");d.style.height=(100*(b.in+b.out)/max)+"%";
   d.title=new Date(b.start*1000).toLocaleString()+": "+bytes(b.in+b.out);return d}));
 }catch(e){$("status").textContent="The recorder does not answer ("+e.message+")"}
}
update();setInterval(update,1000);
</script></body></html>
)PAGE";

const char* const kTokenPage = R"PAGE(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1"><title>vxstat: token</title>
<style>:root{color-scheme:light dark}body{font:16px system-ui,sans-serif;max-width:30rem;margin:2rem auto;padding:0 1rem}
input{font:inherit;width:100%;margin:.5rem 0}</style></head><body>
<p>This recorder answers only with its token (Token= in its boot.ini).</p>
<form id="f"><input id="t" type="password" autocomplete="current-password" aria-label="Token"><button>Open</button></form>
<script>document.getElementById("f").onsubmit=e=>{e.preventDefault();
document.cookie="vxstat_token="+encodeURIComponent(document.getElementById("t").value)+"; path=/; SameSite=Strict";location.reload()}</script>
</body></html>
)PAGE";

}  // namespace vx::recorder
