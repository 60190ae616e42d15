// The calls web_access.cpp makes into the page's accessibility layer (an emscripten --js-library over
// CadenzoAccess, defined in access_layer.js).
mergeInto(LibraryManager.library, {
  web_access_wanted: function () { return CadenzoAccess.wanted() ? 1 : 0; },
  web_access_changed: function (id, change) { CadenzoAccess.changed(id, change); },
  web_access_tree: function (json, size) { CadenzoAccess.tree(UTF8ToString(json, size)); },
});
