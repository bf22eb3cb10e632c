-- Unit cost runs of one item: weighted average (optionally one batch) and lot by
-- lot. The current period is IC CurrentYear / CurrentPeriod of the system profile;
-- its window runs from FStartDate to FEndDate of t_PeriodDate, both inclusive.
-- "Audited" means ISNULL(FStatus,0) <> 0.
--
-- Scope: with @CalculateType 1 the item is costed in stock @StockID alone; with 0
-- in all its stocks together, stocks of type 502 (held for others, not valued) left
-- out, and transfers between the stocks of the scope left out of the receipts
-- (their issue side is priced at the same average, so they move value unchanged).
--
-- Failure is reported the way the callers read it: @StockID becomes -1 (and the
-- run is logged to CalculateLog with FResult -1); nothing is raised.

-- sp_CC_CostAverage: the weighted-average run behind sp_calculate76 and
-- sp_calculate80.
--   @CalcPeriod 1: unit cost = (period opening + audited receipts of the window)
--     amount / quantity; openings from t_CC_Bal, or t_CC_Stock_BatchNo when one
--     batch is costed (@ByBatch 1).
--   @CalcPeriod 0: unit cost = amount / quantity on hand in T_CC_Inventory.
--   The unit cost is rounded to @Decimal places (unit-price decimals); every issue
--   line of the item in the window and scope (stock bill lines of the issue
--   classes, assembly components, dismantled products; audited or not, so that a
--   bill audited later already carries its cost) gets FCostAmount =
--   ROUND(FQty * unit cost, 2), staged in TempWriteBack first.
--   A quantity of 0 or less fails the run.
--   Moving-average items (FTrack 77) also get their running row in ICSpeedBal
--   (FInterID '', stock @StockID or 0 when costed together) set to the quantity and
--   amount on hand after the period's audited issues.
CREATE PROCEDURE sp_CC_CostAverage
  @StockID int OUTPUT,
  @ItemID int,
  @BatchNo varchar(80),
  @ByBatch bit,
  @CalculateType bit,
  @Decimal smallint,
  @CalcPeriod bit
AS
BEGIN
  SET NOCOUNT ON
  DECLARE @Year int, @Period int, @Start datetime, @End datetime, @Scope int
  DECLARE @Qty decimal(28,10), @Amt decimal(28,10), @RQty decimal(28,10), @RAmt decimal(28,10)
  DECLARE @IQty decimal(28,10), @IAmt decimal(28,10), @Price decimal(28,10), @Msg varchar(255)

  SET @Scope = CASE WHEN @CalculateType = 0 THEN 0 ELSE @StockID END
  SET @Msg = ''
  SELECT @Year = CONVERT(int, FValue) FROM t_SystemProfile WHERE FCategory = 'IC' AND FKey = 'CurrentYear'
  SELECT @Period = CONVERT(int, FValue) FROM t_SystemProfile WHERE FCategory = 'IC' AND FKey = 'CurrentPeriod'
  SELECT @Start = FStartDate, @End = FEndDate FROM t_PeriodDate WHERE FYear = @Year AND FPeriod = @Period
  IF @Start IS NULL SET @Msg = '当前期间不在会计期间表中'

  IF @Msg = '' AND @CalcPeriod = 1
  BEGIN
    IF @ByBatch = 0
      SELECT @Qty = ISNULL(SUM(b.FBegQty), 0), @Amt = ISNULL(SUM(b.FBegBal), 0)
      FROM t_CC_Bal b INNER JOIN t_Stock s ON s.FItemID = b.FStockID
      WHERE b.FYear = @Year AND b.FPeriod = @Period AND b.FItemID = @ItemID
        AND ((@CalculateType <> 0 AND b.FStockID = @StockID)
          OR (@CalculateType = 0 AND s.FTypeID <> 502))
    ELSE
      SELECT @Qty = ISNULL(SUM(b.FBegQty), 0), @Amt = ISNULL(SUM(b.FBegBal), 0)
      FROM t_CC_Stock_BatchNo b INNER JOIN t_Stock s ON s.FItemID = b.FStockID
      WHERE b.FYear = @Year AND b.FPeriod = @Period AND b.FItemID = @ItemID
        AND b.FBatchNo = @BatchNo
        AND ((@CalculateType <> 0 AND b.FStockID = @StockID)
          OR (@CalculateType = 0 AND s.FTypeID <> 502))

    SELECT @RQty = ISNULL(SUM(r.FQty), 0), @RAmt = ISNULL(SUM(r.FAmount), 0)
    FROM vw_cc_Receive r INNER JOIN t_Stock s ON s.FItemID = r.FStockID
    WHERE r.FItemID = @ItemID AND ISNULL(r.FStatus, 0) <> 0
      AND r.FDate >= @Start AND r.FDate <= @End
      AND (@ByBatch = 0 OR r.FBatchNo = @BatchNo)
      AND ((@CalculateType <> 0 AND r.FStockID = @StockID)
        OR (@CalculateType = 0 AND s.FTypeID <> 502 AND r.FClassTypeID <> 1040007))
    SET @Qty = @Qty + @RQty
    SET @Amt = @Amt + @RAmt
  END
  IF @Msg = '' AND @CalcPeriod = 0
    SELECT @Qty = ISNULL(SUM(v.FQty), 0), @Amt = ISNULL(SUM(v.FBal), 0)
    FROM T_CC_Inventory v INNER JOIN t_Stock s ON s.FItemID = v.FStockID
    WHERE v.FItemID = @ItemID
      AND (@ByBatch = 0 OR v.FBatchNo = @BatchNo)
      AND ((@CalculateType <> 0 AND v.FStockID = @StockID)
        OR (@CalculateType = 0 AND s.FTypeID <> 502))

  IF @Msg = '' AND @Qty <= 0 SET @Msg = '没有可计算的库存数量'
  IF @Msg <> ''
  BEGIN
    SET @StockID = -1
    INSERT INTO CalculateLog (FTime, FItemID, FStockID, FBatchNo, FResult, FMessage)
    VALUES (GETDATE(), @ItemID, @Scope, @BatchNo, -1, @Msg)
    RETURN 0
  END

  SET @Price = ROUND(@Amt / @Qty, @Decimal)

  DELETE FROM TempWriteBack
  WHERE FItemID = @ItemID AND (@CalculateType = 0 OR FStockID = @StockID)
    AND (@ByBatch = 0 OR FBatchNo = @BatchNo)
  INSERT INTO TempWriteBack (FID, FEntryID, FClassTypeID, FItemID, FStockID, FBatchNo, FQty,
                             FCostAmount, FPrice)
  SELECT h.FID, e.FEntryID, h.FClassTypeID, e.FItemID, e.FSCStockID, e.FBatchNo, e.FQty,
         ROUND(e.FQty * @Price, 2), @Price
  FROM T_CC_StockBill h
  INNER JOIN T_CC_StockBillEntry e ON e.FID = h.FID
  INNER JOIN t_Stock s ON s.FItemID = e.FSCStockID
  WHERE e.FItemID = @ItemID AND h.FDate >= @Start AND h.FDate <= @End
    AND h.FClassTypeID IN (1030002, 1030003, 1030004, 1040002, 1040004, 1040007)
    AND (@ByBatch = 0 OR e.FBatchNo = @BatchNo)
    AND ((@CalculateType <> 0 AND e.FSCStockID = @StockID)
      OR (@CalculateType = 0 AND s.FTypeID <> 502))
  INSERT INTO TempWriteBack (FID, FEntryID, FClassTypeID, FItemID, FStockID, FBatchNo, FQty,
                             FCostAmount, FPrice)
  SELECT h.FID, e.FEntryID, h.FClassTypeID, e.FItemID, e.FStockID, e.FBatchNo, e.FQty,
         ROUND(e.FQty * @Price, 2), @Price
  FROM t_CC_ZZCX h
  INNER JOIN t_CC_ZZCX_Entry2 e ON e.FID = h.FID
  INNER JOIN t_Stock s ON s.FItemID = e.FStockID
  WHERE h.FClassTypeID = 1040005 AND e.FItemID = @ItemID
    AND h.FDate >= @Start AND h.FDate <= @End
    AND (@ByBatch = 0 OR e.FBatchNo = @BatchNo)
    AND ((@CalculateType <> 0 AND e.FStockID = @StockID)
      OR (@CalculateType = 0 AND s.FTypeID <> 502))
  INSERT INTO TempWriteBack (FID, FEntryID, FClassTypeID, FItemID, FStockID, FBatchNo, FQty,
                             FCostAmount, FPrice)
  SELECT h.FID, e.FEntryID, h.FClassTypeID, e.FItemID, e.FStockID, e.FBatchNo, e.FQty,
         ROUND(e.FQty * @Price, 2), @Price
  FROM t_CC_ZZCX h
  INNER JOIN t_CC_ZZCX_Entry e ON e.FID = h.FID
  INNER JOIN t_Stock s ON s.FItemID = e.FStockID
  WHERE h.FClassTypeID = 1040006 AND e.FItemID = @ItemID
    AND h.FDate >= @Start AND h.FDate <= @End
    AND (@ByBatch = 0 OR e.FBatchNo = @BatchNo)
    AND ((@CalculateType <> 0 AND e.FStockID = @StockID)
      OR (@CalculateType = 0 AND s.FTypeID <> 502))

  -- The class tells which line table a staged row came from.
  UPDATE e SET FCostAmount = w.FCostAmount
  FROM T_CC_StockBillEntry e
  INNER JOIN TempWriteBack w ON w.FEntryID = e.FEntryID AND w.FID = e.FID
  WHERE w.FItemID = @ItemID AND w.FClassTypeID NOT IN (1040005, 1040006)
    AND (@CalculateType = 0 OR w.FStockID = @StockID)
    AND (@ByBatch = 0 OR w.FBatchNo = @BatchNo)
  UPDATE e SET FCostAmount = w.FCostAmount
  FROM t_CC_ZZCX_Entry2 e
  INNER JOIN TempWriteBack w ON w.FEntryID = e.FEntryID AND w.FID = e.FID
  WHERE w.FItemID = @ItemID AND w.FClassTypeID = 1040005
    AND (@CalculateType = 0 OR w.FStockID = @StockID)
    AND (@ByBatch = 0 OR w.FBatchNo = @BatchNo)
  UPDATE e SET FCostAmount = w.FCostAmount
  FROM t_CC_ZZCX_Entry e
  INNER JOIN TempWriteBack w ON w.FEntryID = e.FEntryID AND w.FID = e.FID
  WHERE w.FItemID = @ItemID AND w.FClassTypeID = 1040006
    AND (@CalculateType = 0 OR w.FStockID = @StockID)
    AND (@ByBatch = 0 OR w.FBatchNo = @BatchNo)

  IF @ByBatch = 0 AND @CalcPeriod = 1
    AND EXISTS (SELECT 1 FROM t_ICItem WHERE FItemID = @ItemID AND FTrack = 77)
  BEGIN
    SELECT @IQty = ISNULL(SUM(d.FQty), 0), @IAmt = ISNULL(SUM(d.FAmount), 0)
    FROM vw_cc_Send d INNER JOIN t_Stock s ON s.FItemID = d.FStockID
    WHERE d.FItemID = @ItemID AND ISNULL(d.FStatus, 0) <> 0
      AND d.FDate >= @Start AND d.FDate <= @End
      AND ((@CalculateType <> 0 AND d.FStockID = @StockID)
        OR (@CalculateType = 0 AND s.FTypeID <> 502 AND d.FClassTypeID <> 1040007))
    DELETE FROM ICSpeedBal WHERE FItemID = @ItemID AND FInterID = '' AND FStockID = @Scope
    INSERT INTO ICSpeedBal (FID, FInterID, FEntryID, FClassTypeID, FBillTypeID, FDate,
                            FStockID, FItemID, FQty, FAmount)
    VALUES (0, '', 0, 0, 0, '1900-01-01', @Scope, @ItemID, @Qty - @IQty, @Amt - @IAmt)
  END

  INSERT INTO CalculateLog (FTime, FItemID, FStockID, FBatchNo, FResult, FMessage)
  VALUES (GETDATE(), @ItemID, @Scope, @BatchNo, 0, '')
  RETURN 0
END
GO

-- sp_CC_CostLots: the lot-by-lot run (FTrack 78) behind sp_calculate76.
--   1. Forgets what an earlier run wrote for the window: the current period's lot
--      rows made from receipts (FInterID beginning with 3, no opening) and the lot
--      issues of the window in ICSpeedBal.
--   2. Writes one t_CC_Bal lot row per audited receipt line of the window with a
--      positive quantity: FInterID '3' + bill id (11 digits) + line id (12 digits),
--      stock-in date = bill date. Returns and amount-only lines make no lot.
--   3. Consumes the audited issue lines (positive quantities) of each stock in date
--      and bill order from the stock's lots in stock-in order (first in, first
--      out), as overlapping ranges of running quantities. Each lot touched gives an
--      ICSpeedBal row; a lot's amount is split so that the parts taken add up to the
--      lot's amount exactly once it is used up. Quantity no lot covers is booked on
--      lot 200000000000000000000000 at the unit cost of the stock's last lot.
--   4. Writes each line's FCostAmount and each lot's issue and closing columns.
-- An issue in a stock that holds no lot at all cannot be priced: the run fails
-- (after steps 1 and 2, which a later run redoes).
CREATE PROCEDURE sp_CC_CostLots
  @StockID int OUTPUT,
  @ItemID int,
  @CalculateType bit
AS
BEGIN
  SET NOCOUNT ON
  DECLARE @Year int, @Period int, @Start datetime, @End datetime, @Scope int, @Msg varchar(255)

  SET @Scope = CASE WHEN @CalculateType = 0 THEN 0 ELSE @StockID END
  SET @Msg = ''
  SELECT @Year = CONVERT(int, FValue) FROM t_SystemProfile WHERE FCategory = 'IC' AND FKey = 'CurrentYear'
  SELECT @Period = CONVERT(int, FValue) FROM t_SystemProfile WHERE FCategory = 'IC' AND FKey = 'CurrentPeriod'
  SELECT @Start = FStartDate, @End = FEndDate FROM t_PeriodDate WHERE FYear = @Year AND FPeriod = @Period
  IF @Start IS NULL
  BEGIN
    SET @StockID = -1
    INSERT INTO CalculateLog (FTime, FItemID, FStockID, FBatchNo, FResult, FMessage)
    VALUES (GETDATE(), @ItemID, @Scope, '', -1, '当前期间不在会计期间表中')
    RETURN 0
  END

  DELETE b FROM t_CC_Bal b INNER JOIN t_Stock s ON s.FItemID = b.FStockID
  WHERE b.FYear = @Year AND b.FPeriod = @Period AND b.FItemID = @ItemID
    AND b.FBegQty = 0 AND b.FBegBal = 0 AND b.FInterID LIKE '3%'
    AND ((@CalculateType <> 0 AND b.FStockID = @StockID)
      OR (@CalculateType = 0 AND s.FTypeID <> 502))
  DELETE p FROM ICSpeedBal p INNER JOIN t_Stock s ON s.FItemID = p.FStockID
  WHERE p.FItemID = @ItemID AND p.FInterID <> '' AND p.FDate >= @Start AND p.FDate <= @End
    AND ((@CalculateType <> 0 AND p.FStockID = @StockID)
      OR (@CalculateType = 0 AND s.FTypeID <> 502))

  INSERT INTO t_CC_Bal (FInterID, FYear, FPeriod, FStockID, FItemID, FBatchNo, FReceive, FDebit,
                        FEndQty, FEndBal, FStockInDate, FID, FEntryID, FClassTypeID)
  SELECT '3' + RIGHT('00000000000' + CONVERT(varchar(11), r.FID), 11)
             + RIGHT('000000000000' + CONVERT(varchar(12), r.FEntryID), 12),
         @Year, @Period, r.FStockID, r.FItemID, '', r.FQty, r.FAmount, r.FQty, r.FAmount,
         r.FDate, r.FID, r.FEntryID, r.FClassTypeID
  FROM vw_cc_Receive r INNER JOIN t_Stock s ON s.FItemID = r.FStockID
  WHERE r.FItemID = @ItemID AND ISNULL(r.FStatus, 0) <> 0 AND r.FQty > 0
    AND r.FDate >= @Start AND r.FDate <= @End
    AND ((@CalculateType <> 0 AND r.FStockID = @StockID)
      OR (@CalculateType = 0 AND s.FTypeID <> 502))

  -- Lots available in the period and where each starts in its stock's running quantity.
  IF OBJECT_ID('tempdb..#CostLots') IS NOT NULL DROP TABLE #CostLots
  SELECT b.FIdentity, b.FInterID, b.FStockID, b.FStockInDate,
         b.FBegQty + b.FReceive AS FQty, b.FBegBal + b.FDebit AS FAmount
  INTO #CostLots
  FROM t_CC_Bal b INNER JOIN t_Stock s ON s.FItemID = b.FStockID
  WHERE b.FYear = @Year AND b.FPeriod = @Period AND b.FItemID = @ItemID
    AND b.FBegQty + b.FReceive > 0
    AND ((@CalculateType <> 0 AND b.FStockID = @StockID)
      OR (@CalculateType = 0 AND s.FTypeID <> 502))
  IF OBJECT_ID('tempdb..#CostLotRange') IS NOT NULL DROP TABLE #CostLotRange
  SELECT a.FIdentity, a.FInterID, a.FStockID, a.FQty, a.FAmount,
         SUM(CASE WHEN p.FIdentity IS NULL THEN 0 ELSE p.FQty END) AS FFrom
  INTO #CostLotRange
  FROM #CostLots a
  LEFT JOIN #CostLots p ON p.FStockID = a.FStockID
    AND (p.FStockInDate < a.FStockInDate
      OR (p.FStockInDate = a.FStockInDate AND p.FIdentity < a.FIdentity))
  GROUP BY a.FIdentity, a.FInterID, a.FStockID, a.FQty, a.FAmount

  -- Issues to cover and where each starts in its stock's running quantity.
  IF OBJECT_ID('tempdb..#CostIssues') IS NOT NULL DROP TABLE #CostIssues
  SELECT d.FID, d.FEntryID, d.FClassTypeID, d.FBillTypeID, d.FDate, d.FStockID, d.FQty
  INTO #CostIssues
  FROM vw_cc_Send d INNER JOIN t_Stock s ON s.FItemID = d.FStockID
  WHERE d.FItemID = @ItemID AND ISNULL(d.FStatus, 0) <> 0 AND d.FQty > 0
    AND d.FDate >= @Start AND d.FDate <= @End
    AND ((@CalculateType <> 0 AND d.FStockID = @StockID)
      OR (@CalculateType = 0 AND s.FTypeID <> 502))
  IF OBJECT_ID('tempdb..#CostIssueRange') IS NOT NULL DROP TABLE #CostIssueRange
  SELECT i.FID, i.FEntryID, i.FClassTypeID, i.FBillTypeID, i.FDate, i.FStockID, i.FQty,
         SUM(CASE WHEN p.FEntryID IS NULL THEN 0 ELSE p.FQty END) AS FFrom
  INTO #CostIssueRange
  FROM #CostIssues i
  LEFT JOIN #CostIssues p ON p.FStockID = i.FStockID
    AND (p.FDate < i.FDate OR (p.FDate = i.FDate
      AND (p.FID < i.FID OR (p.FID = i.FID AND p.FEntryID < i.FEntryID))))
  GROUP BY i.FID, i.FEntryID, i.FClassTypeID, i.FBillTypeID, i.FDate, i.FStockID, i.FQty

  IF EXISTS (SELECT 1 FROM #CostIssueRange i LEFT JOIN #CostLotRange l ON l.FStockID = i.FStockID
             WHERE l.FIdentity IS NULL)
    SET @Msg = '出库仓库没有可用的批次'
  IF @Msg <> ''
  BEGIN
    SET @StockID = -1
    INSERT INTO CalculateLog (FTime, FItemID, FStockID, FBatchNo, FResult, FMessage)
    VALUES (GETDATE(), @ItemID, @Scope, '', -1, @Msg)
    DROP TABLE #CostLots
    DROP TABLE #CostLotRange
    DROP TABLE #CostIssues
    DROP TABLE #CostIssueRange
    RETURN 0
  END

  -- Overlap of each issue's range with each lot's range: the part of the lot it
  -- takes, as positions within the lot (FAt .. FTo).
  IF OBJECT_ID('tempdb..#CostPairs') IS NOT NULL DROP TABLE #CostPairs
  SELECT i.FID, i.FEntryID, i.FClassTypeID, i.FBillTypeID, i.FDate, i.FStockID,
         l.FIdentity, l.FInterID, l.FQty AS FLotQty, l.FAmount AS FLotAmount,
         (CASE WHEN i.FFrom > l.FFrom THEN i.FFrom ELSE l.FFrom END) - l.FFrom AS FAt,
         (CASE WHEN i.FFrom + i.FQty < l.FFrom + l.FQty THEN i.FFrom + i.FQty
               ELSE l.FFrom + l.FQty END) - l.FFrom AS FTo
  INTO #CostPairs
  FROM #CostIssueRange i
  INNER JOIN #CostLotRange l ON l.FStockID = i.FStockID
    AND l.FFrom < i.FFrom + i.FQty AND i.FFrom < l.FFrom + l.FQty

  IF OBJECT_ID('tempdb..#CostTaken') IS NOT NULL DROP TABLE #CostTaken
  SELECT FID, FEntryID, FClassTypeID, FBillTypeID, FDate, FStockID, FIdentity, FInterID,
         FTo - FAt AS FQty,
         (CASE WHEN FTo >= FLotQty THEN FLotAmount ELSE ROUND(FTo * FLotAmount / FLotQty, 2) END)
       - (CASE WHEN FAt = 0 THEN 0 ELSE ROUND(FAt * FLotAmount / FLotQty, 2) END) AS FAmount
  INTO #CostTaken
  FROM #CostPairs

  -- Quantity beyond the last lot of the stock.
  INSERT INTO #CostTaken (FID, FEntryID, FClassTypeID, FBillTypeID, FDate, FStockID, FIdentity,
                          FInterID, FQty, FAmount)
  SELECT i.FID, i.FEntryID, i.FClassTypeID, i.FBillTypeID, i.FDate, i.FStockID, 0,
         '200000000000000000000000', i.FFrom + i.FQty - t.FEnd,
         ROUND((i.FFrom + i.FQty - t.FEnd) * l.FAmount / l.FQty, 2)
  FROM #CostIssueRange i
  INNER JOIN (SELECT FStockID, MAX(FFrom + FQty) AS FEnd, MAX(FFrom) AS FLast
              FROM #CostLotRange GROUP BY FStockID) t ON t.FStockID = i.FStockID
  INNER JOIN #CostLotRange l ON l.FStockID = t.FStockID AND l.FFrom = t.FLast
  WHERE i.FFrom + i.FQty > t.FEnd

  INSERT INTO ICSpeedBal (FID, FInterID, FEntryID, FClassTypeID, FBillTypeID, FDate, FStockID,
                          FItemID, FQty, FAmount)
  SELECT FID, FInterID, FEntryID, FClassTypeID, FBillTypeID, FDate, FStockID, @ItemID, FQty,
         FAmount
  FROM #CostTaken

  UPDATE e SET FCostAmount = c.FAmount
  FROM T_CC_StockBillEntry e
  INNER JOIN (SELECT FID, FEntryID, SUM(FAmount) AS FAmount FROM #CostTaken
              WHERE FClassTypeID NOT IN (1040005, 1040006) GROUP BY FID, FEntryID) c
    ON c.FID = e.FID AND c.FEntryID = e.FEntryID
  UPDATE e SET FCostAmount = c.FAmount
  FROM t_CC_ZZCX_Entry2 e
  INNER JOIN (SELECT FID, FEntryID, SUM(FAmount) AS FAmount FROM #CostTaken
              WHERE FClassTypeID = 1040005 GROUP BY FID, FEntryID) c
    ON c.FID = e.FID AND c.FEntryID = e.FEntryID
  UPDATE e SET FCostAmount = c.FAmount
  FROM t_CC_ZZCX_Entry e
  INNER JOIN (SELECT FID, FEntryID, SUM(FAmount) AS FAmount FROM #CostTaken
              WHERE FClassTypeID = 1040006 GROUP BY FID, FEntryID) c
    ON c.FID = e.FID AND c.FEntryID = e.FEntryID

  UPDATE b SET FSend = 0, FCredit = 0
  FROM t_CC_Bal b INNER JOIN #CostLots l ON l.FIdentity = b.FIdentity
  UPDATE b SET FSend = c.FQty, FCredit = c.FAmount
  FROM t_CC_Bal b
  INNER JOIN (SELECT FIdentity, SUM(FQty) AS FQty, SUM(FAmount) AS FAmount FROM #CostTaken
              GROUP BY FIdentity) c ON c.FIdentity = b.FIdentity
  UPDATE b SET FEndQty = FBegQty + FReceive - FSend, FEndBal = FBegBal + FDebit - FCredit
  FROM t_CC_Bal b INNER JOIN #CostLots l ON l.FIdentity = b.FIdentity

  DROP TABLE #CostLots
  DROP TABLE #CostLotRange
  DROP TABLE #CostIssues
  DROP TABLE #CostIssueRange
  DROP TABLE #CostPairs
  DROP TABLE #CostTaken
  INSERT INTO CalculateLog (FTime, FItemID, FStockID, FBatchNo, FResult, FMessage)
  VALUES (GETDATE(), @ItemID, @Scope, '', 0, '')
  RETURN 0
END
GO

-- sp_calculate76: unit cost run of one item without batch. Lot-by-lot items
-- (FTrack 78) are costed lot by lot for the period; every other item, and a lot
-- item asked for the on-hand cost (@CalcPeriod 0), at its weighted average.
-- @Decimal is the number of unit-price decimals. Status -1 in @StockID on failure.
CREATE PROCEDURE sp_calculate76
  @StockID int OUTPUT,
  @ItemID int,
  @CalculateType bit,
  @Decimal smallint,
  @CalcPeriod bit
AS
BEGIN
  SET NOCOUNT ON
  IF @CalcPeriod = 1 AND EXISTS (SELECT 1 FROM t_ICItem WHERE FItemID = @ItemID AND FTrack = 78)
    EXEC sp_CC_CostLots @StockID OUTPUT, @ItemID, @CalculateType
  ELSE
    EXEC sp_CC_CostAverage @StockID OUTPUT, @ItemID, '', 0, @CalculateType, @Decimal, @CalcPeriod
  RETURN 0
END
GO

-- sp_calculate80: unit cost run of one batch of an item: the weighted average of
-- the batch alone (openings from t_CC_Stock_BatchNo, receipts and issues of that
-- batch number). Status -1 in @StockID on failure.
CREATE PROCEDURE sp_calculate80
  @StockID int OUTPUT,
  @ItemID int,
  @BatchNo varchar(80),
  @CalculateType bit,
  @Decimal smallint,
  @CalcPeriod bit
AS
BEGIN
  SET NOCOUNT ON
  EXEC sp_CC_CostAverage @StockID OUTPUT, @ItemID, @BatchNo, 1, @CalculateType, @Decimal, @CalcPeriod
  RETURN 0
END
GO
