var m = new ActiveXObject("Tessarix5.MultiUpload");
m.StartUpload("/up", CMS + "/upload.asp");
automation.answerFolderDialogs([SAMPLES + "/tree"]);
automation.child(m, "Command1").click();
automation.child(m, "Command2").click();
var boxes = automation.messageBoxes();
if (boxes.length === 0 || boxes[boxes.length - 1].text !== "所有文件上传完成.")
    throw new Error("no final message");
if (automation.child(m, "pb").value !== 100) throw new Error("overall progress is not 100");
console.log("expect: tree /up/");
