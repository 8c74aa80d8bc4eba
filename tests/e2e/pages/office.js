var o = new ActiveXObject("Tessarix5.OfficeImport");
o.Init(CMS + "/cms/upload.asp", CMS + "/cms/savepost.asp", "/articles/", 7, "editor");
var dir = SAMPLES + "/office/";
automation.answerFileDialogs([[dir + "report.docx", dir + "book.xlsx", dir + "talk.pptx"]]);
automation.child(o, "Command1").click();
automation.child(o, "Check1").setChecked(true);
automation.child(o, "Command3").click();
var items = automation.child(o, "List1").items;
for (var i = 0; i < items.length; i++)
    if (items[i].indexOf("...完成") < 0) throw new Error("not done: " + items[i]);
var boxes = automation.messageBoxes();
if (boxes.length) throw new Error("message: " + boxes[0].text);
console.log("expect: article report 3");
console.log("expect: article Sales 3");
console.log("expect: article talk.pptx 2");
