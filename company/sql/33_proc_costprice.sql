-- Cost price look-ups for bill entry: what one unit of an item costs now.
-- Scope by IC CalculateType of the system profile: 0 = all stocks of the item
-- together, any other value (or no row) = the given stock alone.
-- First hit wins:
--   a. the unit cost on hand: sum of FBal / sum of FQty of T_CC_Inventory, when
--      the quantity on hand is positive;
--   b. the unit cost (amount / quantity) of the latest audited receipt line with a
--      positive quantity (latest by date, then bill, then line);
--   c. the item's reference cost price t_ICItem.FCostPrice, when positive;
--   d. 0.
-- The answer is never NULL: the callers read NULL as 0 anyway, and a number is
-- clearer.

-- sp_GetCostPrice: @BatchNo narrows a and b to one batch when not empty. Receipts
-- count when dated before @Date (@IsBill 1: strictly before, so a bill being
-- entered on that date does not price itself) or on or before it (@IsBill 0).
CREATE PROCEDURE sp_GetCostPrice
  @StockID int,
  @ItemID int,
  @BatchNo varchar(80),
  @LastCost float OUTPUT,
  @IsBill bit,
  @Date datetime = '2999-12-31'
AS
BEGIN
  SET NOCOUNT ON
  DECLARE @CalcType int, @Qty decimal(28,10), @Bal decimal(28,10), @Cost decimal(28,10)
  SET @CalcType = 1
  SELECT @CalcType = CONVERT(int, ISNULL(FValue, '1')) FROM t_SystemProfile
  WHERE FCategory = 'IC' AND FKey = 'CalculateType'
  IF @Date IS NULL SET @Date = '2999-12-31'
  SET @Cost = NULL

  SELECT @Qty = ISNULL(SUM(FQty), 0), @Bal = ISNULL(SUM(FBal), 0)
  FROM T_CC_Inventory
  WHERE FItemID = @ItemID AND (@CalcType = 0 OR FStockID = @StockID)
    AND (ISNULL(@BatchNo, '') = '' OR FBatchNo = @BatchNo)
  IF @Qty > 0 SET @Cost = @Bal / @Qty

  IF @Cost IS NULL
    SELECT TOP 1 @Cost = FAmount / FQty
    FROM vw_cc_Receive
    WHERE FItemID = @ItemID AND ISNULL(FStatus, 0) <> 0 AND FQty > 0
      AND (@CalcType = 0 OR FStockID = @StockID)
      AND (ISNULL(@BatchNo, '') = '' OR FBatchNo = @BatchNo)
      AND ((@IsBill = 1 AND FDate < @Date) OR (@IsBill = 0 AND FDate <= @Date))
    ORDER BY FDate DESC, FID DESC, FEntryID DESC

  IF @Cost IS NULL
    SELECT @Cost = FCostPrice FROM t_ICItem WHERE FItemID = @ItemID AND FCostPrice > 0

  SET @LastCost = ISNULL(@Cost, 0)
  RETURN 0
END
GO

-- sp_GetCostPrice80: the same for batch-costed items, restricted to the batch
-- (an empty @BatchNo: all batches of the item), with no date limit on receipts.
CREATE PROCEDURE sp_GetCostPrice80
  @StockID int,
  @ItemID int,
  @BatchNo varchar(80),
  @LastCost float OUTPUT
AS
BEGIN
  SET NOCOUNT ON
  DECLARE @Cost float
  EXEC sp_GetCostPrice @StockID, @ItemID, @BatchNo, @Cost OUTPUT, 0, '2999-12-31'
  SET @LastCost = @Cost
  RETURN 0
END
GO
