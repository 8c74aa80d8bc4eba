var s = new ActiveXObject("Tessarix5.ScreenShot");
automation.onOverlay(function (o) {
    o.press(10, 20, 1);
    o.move(210, 120);
    o.release(210, 120, 1);
    o.doubleClick(100, 60);
});
s.BeginScreenShot("/shots", CMS + "/upload.asp", 3);
if (s.FileName === "") throw new Error("nothing captured");
console.log("expect: served " + s.FileName);
