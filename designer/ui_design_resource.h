// Resource identifiers of the "UI-Design" page and its template dialog.
#pragma once

#define IDD_PAGE_UI 150
#define IDD_NEW_TEMPLATE 151

#define IDC_UI_CANVAS 1400
#define IDC_UI_WIN0 1401  // .. +3
#define IDC_UI_HIDEWIN 1405
#define IDC_UI_CUSTOM 1406
#define IDC_UI_USETPL 1407
#define IDC_UI_DEFTPL 1408
#define IDC_UI_SELTPL 1409
#define IDC_UI_SAVETPL 1410
#define IDC_UI_TPLNAME 1411
#define IDC_UI_TPLAUTHOR 1412
#define IDC_UI_ALIGN0 1420  // .. +6, in the order of AlignCommand
#define IDC_UI_OPTION0 1430  // .. +11, in the order of kOptionBoxes
#define IDC_UI_TITLE 1450
#define IDC_UI_SYSICON 1451
#define IDC_UI_SYSICON_BROWSE 1452
#define IDC_UI_PREVIEW 1453

// The attribute panels.
#define IDC_UI_ATTR_GROUP 1460
#define IDC_UI_TEXT_LABEL 1461
#define IDC_UI_TEXT 1462
#define IDC_UI_FONTSIZE 1463
#define IDC_UI_BOLD 1464
#define IDC_UI_ITALIC 1465
#define IDC_UI_UNDERLINE 1466
#define IDC_UI_TEXTCOLOR 1467
#define IDC_UI_LINK_LABEL 1468
#define IDC_UI_LINK 1469
#define IDC_UI_NORMAL_LABEL 1470
#define IDC_UI_NORMAL_UL 1471
#define IDC_UI_NORMAL_COLOR 1472
#define IDC_UI_HOVER_LABEL 1473
#define IDC_UI_HOVER_UL 1474
#define IDC_UI_HOVER_COLOR 1475
#define IDC_UI_IMAGE_LABEL 1476
#define IDC_UI_IMAGE 1477
#define IDC_UI_IMAGE_BROWSE 1478
#define IDC_UI_ORIGINAL 1479
#define IDC_UI_BG_LABEL 1480
#define IDC_UI_BG_COLOR 1481
#define IDC_UI_APPLY_ALL 1482
#define IDC_UI_APPLY 1483

#define IDC_TPL_NAME 1490
#define IDC_TPL_AUTHOR 1491
