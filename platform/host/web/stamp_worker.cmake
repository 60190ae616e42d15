# Writes the service worker from its template: the list of files it caches and a cache name made from
# their content, so a page built anew is fetched anew once and then runs from the cache.
set(files index.html cadenzo.js cadenzo.wasm Cadenzo.htm manifest.webmanifest icon-192.png icon-512.png)
set(content "")
foreach(f ${files})
  file(SHA256 ${SITE}/${f} sum)
  string(APPEND content "${sum}")
endforeach()
string(SHA256 version "${content}")
string(SUBSTRING ${version} 0 16 CACHE_VERSION)
list(TRANSFORM files PREPEND "'./")
list(TRANSFORM files APPEND "'")
list(JOIN files ", " CACHE_FILES)
configure_file(${TEMPLATE} ${SITE}/sw.js @ONLY)
