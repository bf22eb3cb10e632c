-- Views of the company database: receipts and issues of all bills with the signs
-- of their bill types, stock bill lines with their header, and the bill and
-- balance objects read by the reference price look-up.
--
-- The receipt and issue views carry audited and unaudited lines alike (FStatus is
-- the bill's: NULL or 0 = not audited, the callers filter); FBatchNo, FAuxPropID,
-- FQty, FSecQty and FAmount are never NULL. FAmount is the line's inventory value
-- (FCostAmount). Each view is a UNION ALL of one branch per source table, so that a
-- filter on item, stock or date reaches every branch.

-- Receipts: purchase receipts, estimated receipts, purchase rebates, other
-- receipts, stocktake gains, transfers in, price adjustments, assembled products
-- and the parts of a dismantling.
-- Sign: bill types 2012, 2031 and 2032 (returns and red-ink reversals) count
-- negative. Price adjustments and amount-only rebates carry the quantity of the
-- bill (normally 0) and their amount with its own sign.
-- FStockID is the receiving stock, or the sending stock for a line that names only
-- that one (an adjustment entered against its issuing stock).
CREATE VIEW vw_cc_Receive AS
SELECT h.FID, e.FEntryID, h.FBillNo, h.FDate, h.FStatus, h.FClassTypeID, h.FBillTypeID,
       e.FItemID,
       CASE WHEN e.FDCStockID <> 0 THEN e.FDCStockID ELSE e.FSCStockID END AS FStockID,
       ISNULL(e.FBatchNo, '') AS FBatchNo, ISNULL(e.FAuxPropID, 0) AS FAuxPropID,
       CASE WHEN h.FBillTypeID IN (2012, 2031, 2032) THEN -ISNULL(e.FQty, 0)
            ELSE ISNULL(e.FQty, 0) END AS FQty,
       CASE WHEN h.FBillTypeID IN (2012, 2031, 2032) THEN -ISNULL(e.FSecQty, 0)
            ELSE ISNULL(e.FSecQty, 0) END AS FSecQty,
       CASE WHEN h.FBillTypeID IN (2012, 2031, 2032) THEN -ISNULL(e.FCostAmount, 0)
            ELSE ISNULL(e.FCostAmount, 0) END AS FAmount,
       e.FKFDate, e.FKFPeriod, e.FPeriodDate,
       i.FNumber AS ItemNumber, i.FName AS ItemName, s.FName AS FStockName, a.FName AS AuxName
FROM T_CC_StockBill h
INNER JOIN T_CC_StockBillEntry e ON e.FID = h.FID
LEFT JOIN t_ICItem i ON i.FItemID = e.FItemID
LEFT JOIN t_Stock s ON s.FItemID = CASE WHEN e.FDCStockID <> 0 THEN e.FDCStockID ELSE e.FSCStockID END
LEFT JOIN t_auxItem a ON a.FItemID = e.FAuxPropID
WHERE h.FClassTypeID IN (1020002, 1020003, 1020004, 1040001, 1040003, 1040007, 1040008)
UNION ALL
SELECT h.FID, e.FEntryID, h.FBillNo, h.FDate, h.FStatus, h.FClassTypeID, 0,
       e.FItemID, e.FStockID, ISNULL(e.FBatchNo, ''), ISNULL(e.FAuxPropID, 0),
       ISNULL(e.FQty, 0), ISNULL(e.FSecQty, 0), ISNULL(e.FCostAmount, 0),
       e.FKFDate, e.FKFPeriod, e.FPeriodDate,
       i.FNumber, i.FName, s.FName, a.FName
FROM t_CC_ZZCX h
INNER JOIN t_CC_ZZCX_Entry e ON e.FID = h.FID
LEFT JOIN t_ICItem i ON i.FItemID = e.FItemID
LEFT JOIN t_Stock s ON s.FItemID = e.FStockID
LEFT JOIN t_auxItem a ON a.FItemID = e.FAuxPropID
WHERE h.FClassTypeID = 1040005
UNION ALL
SELECT h.FID, e.FEntryID, h.FBillNo, h.FDate, h.FStatus, h.FClassTypeID, 0,
       e.FItemID, e.FStockID, ISNULL(e.FBatchNo, ''), ISNULL(e.FAuxPropID, 0),
       ISNULL(e.FQty, 0), ISNULL(e.FSecQty, 0), ISNULL(e.FCostAmount, 0),
       e.FKFDate, e.FKFPeriod, e.FPeriodDate,
       i.FNumber, i.FName, s.FName, a.FName
FROM t_CC_ZZCX h
INNER JOIN t_CC_ZZCX_Entry2 e ON e.FID = h.FID
LEFT JOIN t_ICItem i ON i.FItemID = e.FItemID
LEFT JOIN t_Stock s ON s.FItemID = e.FStockID
LEFT JOIN t_auxItem a ON a.FItemID = e.FAuxPropID
WHERE h.FClassTypeID = 1040006
GO

-- Issues: sales deliveries, consignment sales, sales rebates, other issues,
-- stocktake losses, transfers out, assembly components and dismantled products.
-- Sign: 3002, 3004 and 3011 (returns) count negative; 3003 counts zero; the
-- amount-only sales rebates 3020 and 3021 count zero as well, so that costing that
-- counts every issue row and costing that leaves those rebates out agree. Price
-- adjustments belong to the receipt side only.
-- FStockID is the sending stock, or the receiving stock for a line that names
-- only that one.
CREATE VIEW vw_cc_Send AS
SELECT h.FID, e.FEntryID, h.FBillNo, h.FDate, h.FStatus, h.FClassTypeID, h.FBillTypeID,
       e.FItemID,
       CASE WHEN e.FSCStockID <> 0 THEN e.FSCStockID ELSE e.FDCStockID END AS FStockID,
       ISNULL(e.FBatchNo, '') AS FBatchNo, ISNULL(e.FAuxPropID, 0) AS FAuxPropID,
       CASE WHEN h.FBillTypeID IN (3002, 3004, 3011) THEN -ISNULL(e.FQty, 0)
            WHEN h.FBillTypeID IN (3003, 3020, 3021) THEN 0
            ELSE ISNULL(e.FQty, 0) END AS FQty,
       CASE WHEN h.FBillTypeID IN (3002, 3004, 3011) THEN -ISNULL(e.FSecQty, 0)
            WHEN h.FBillTypeID IN (3003, 3020, 3021) THEN 0
            ELSE ISNULL(e.FSecQty, 0) END AS FSecQty,
       CASE WHEN h.FBillTypeID IN (3002, 3004, 3011) THEN -ISNULL(e.FCostAmount, 0)
            WHEN h.FBillTypeID IN (3003, 3020, 3021) THEN 0
            ELSE ISNULL(e.FCostAmount, 0) END AS FAmount,
       e.FKFDate, e.FKFPeriod, e.FPeriodDate,
       i.FNumber AS ItemNumber, i.FName AS ItemName, s.FName AS FStockName, a.FName AS AuxName
FROM T_CC_StockBill h
INNER JOIN T_CC_StockBillEntry e ON e.FID = h.FID
LEFT JOIN t_ICItem i ON i.FItemID = e.FItemID
LEFT JOIN t_Stock s ON s.FItemID = CASE WHEN e.FSCStockID <> 0 THEN e.FSCStockID ELSE e.FDCStockID END
LEFT JOIN t_auxItem a ON a.FItemID = e.FAuxPropID
WHERE h.FClassTypeID IN (1030002, 1030003, 1030004, 1040002, 1040004, 1040007)
UNION ALL
SELECT h.FID, e.FEntryID, h.FBillNo, h.FDate, h.FStatus, h.FClassTypeID, 0,
       e.FItemID, e.FStockID, ISNULL(e.FBatchNo, ''), ISNULL(e.FAuxPropID, 0),
       ISNULL(e.FQty, 0), ISNULL(e.FSecQty, 0), ISNULL(e.FCostAmount, 0),
       e.FKFDate, e.FKFPeriod, e.FPeriodDate,
       i.FNumber, i.FName, s.FName, a.FName
FROM t_CC_ZZCX h
INNER JOIN t_CC_ZZCX_Entry2 e ON e.FID = h.FID
LEFT JOIN t_ICItem i ON i.FItemID = e.FItemID
LEFT JOIN t_Stock s ON s.FItemID = e.FStockID
LEFT JOIN t_auxItem a ON a.FItemID = e.FAuxPropID
WHERE h.FClassTypeID = 1040005
UNION ALL
SELECT h.FID, e.FEntryID, h.FBillNo, h.FDate, h.FStatus, h.FClassTypeID, 0,
       e.FItemID, e.FStockID, ISNULL(e.FBatchNo, ''), ISNULL(e.FAuxPropID, 0),
       ISNULL(e.FQty, 0), ISNULL(e.FSecQty, 0), ISNULL(e.FCostAmount, 0),
       e.FKFDate, e.FKFPeriod, e.FPeriodDate,
       i.FNumber, i.FName, s.FName, a.FName
FROM t_CC_ZZCX h
INNER JOIN t_CC_ZZCX_Entry e ON e.FID = h.FID
LEFT JOIN t_ICItem i ON i.FItemID = e.FItemID
LEFT JOIN t_Stock s ON s.FItemID = e.FStockID
LEFT JOIN t_auxItem a ON a.FItemID = e.FAuxPropID
WHERE h.FClassTypeID = 1040006
GO

-- Stock bill lines with their header, all statuses, no sign applied: it lists bills,
-- it does not value stock. No column named FInterID and no identity column: bill
-- queries add their own running number with a SELECT ... INTO.
CREATE VIEW vw_cc_StockBillEntry AS
SELECT h.FID, h.FBillNo, h.FDate, h.FClassTypeID, h.FBillTypeID, h.FStatus, h.FSupplyID,
       h.FCustID, h.FExplanation,
       e.FEntryID, e.FIndex, e.FItemID, e.FBatchNo, e.FAuxPropID, e.FDCStockID, e.FSCStockID,
       e.FQty, e.FSecQty, e.FPrice, e.FAmount, e.FCostAmount, e.FKFDate, e.FKFPeriod,
       e.FPeriodDate,
       i.FNumber AS FItemNumber, i.FName AS FItemName
FROM T_CC_StockBill h
INNER JOIN T_CC_StockBillEntry e ON e.FID = h.FID
LEFT JOIN t_ICItem i ON i.FItemID = e.FItemID
GO

-- Bill headers as the reference price look-up reads them. Transaction type 2 is an
-- ordinary purchase receipt (class 1020002 other than a return), so the latest
-- purchase price is the reference price; stock bills know no cancellation.
CREATE VIEW icstockbill AS
SELECT h.FID AS FInterID, h.FBillNo, h.FDate, h.FStatus, 0 AS FCancellation,
       CASE WHEN h.FClassTypeID = 1020002 AND h.FBillTypeID <> 2012 THEN 2 ELSE 0 END AS FTranType
FROM T_CC_StockBill h
GO

CREATE VIEW icstockbillentry AS
SELECT e.FID AS FInterID, e.FEntryID, e.FItemID, e.FPrice, e.FQty, e.FAmount
FROM T_CC_StockBillEntry e
GO

CREATE VIEW icbal AS
SELECT b.FYear, b.FPeriod, b.FStockID, b.FItemID, b.FBatchNo AS FBatchNO, b.FBegQty,
       b.FBegBal, b.FEndQty, b.FEndBal
FROM t_CC_Bal b
GO
