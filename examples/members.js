// Creates every public class of the component and prints its members as the type
// library describes them.
//   build/bin/tessarix run examples/members.js
var classes = ["FileUpload", "OfficeImport", "MultiUpload", "ImageImport", "ScreenShot", "Helper"];

function param(p) {
    var text = (p.byRef ? "ByRef " : "") + p.name + ": " + p.type;
    return p.optional ? "[" + text + " = " + p["default"] + "]" : text;
}

for (var i = 0; i < classes.length; i++) {
    var object = new ActiveXObject("Tessarix5." + classes[i]);
    var info = automation.typeInfo(object);
    console.log(info.progId + "  " + info.clsid + "  (" + info.kind + ")");
    console.log("  interface " + info["interface"].name + "  " + info["interface"].iid);
    if (info.events)
        console.log("  events    " + info.events.name + "  " + info.events.iid + "  (no events)");
    var members = info["interface"].members;
    for (var j = 0; j < members.length; j++) {
        var m = members[j];
        var line = "    " + m.dispid + "  " + m.name;
        if (m.kind === "method")
            line += "(" + m.params.map(param).join(", ") + ")" + (m.result === "void" ? "" : ": " + m.result);
        else
            line += ": " + m.result + "  [" + m.kind + "]";
        console.log(line);
    }
}
